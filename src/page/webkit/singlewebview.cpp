#include "page/webkit/singlewebview.h"

#include "logging.h"
#include "page/webkit/classicwebpage.h"

SingleWebView::SingleWebView(QWidget *parent)
    : QWebView(parent)
{
    setPage(new ClassicWebPage(this));
}

QWebView *SingleWebView::createWindow(QWebPage::WebWindowType type)
{
    qCDebug(lcApp) << "window type: " << int(type);
    return this;
}
