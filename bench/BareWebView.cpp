// The baseline for start-up and memory: the web engine's view and nothing else, maximized on the
// page given as its argument. It reports every finished load in the words the browser uses.

#include <QApplication>
#include <QDebug>
#include <QUrl>
#include <QWebView>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: BareWebView ADDRESS");
        return 2;
    }
    QWebView view;
    QObject::connect(&view, &QWebView::loadFinished, [](bool ok) { qDebug() << "finished with ok: " << ok; });
    view.showMaximized();
    view.setUrl(QUrl(QString::fromLocal8Bit(argv[1]), QUrl::TolerantMode));
    return app.exec();
}
