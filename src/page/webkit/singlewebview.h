#pragma once

#include <QWebView>

// The browser's one web view: a page asking for a new window or dialog is shown in place.
class SingleWebView : public QWebView
{
public:
    explicit SingleWebView(QWidget *parent = nullptr);

protected:
    QWebView *createWindow(QWebPage::WebWindowType type) override;
};
