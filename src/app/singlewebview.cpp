#include "app/singlewebview.h"

#include <QDebug>

SingleWebView::SingleWebView(QWidget *parent)
    : QWebView(parent)
{
}

QWebView *SingleWebView::createWindow(QWebPage::WebWindowType type)
{
    qDebug() << "window type: " << int(type);
    return this;
}
