#include "app/singlewebview.h"

#include "logging.h"

SingleWebView::SingleWebView(QWidget *parent)
    : QWebView(parent)
{
}

QWebView *SingleWebView::createWindow(QWebPage::WebWindowType type)
{
    qCDebug(lcApp) << "window type: " << int(type);
    return this;
}
