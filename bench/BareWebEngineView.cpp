// The baseline for start-up and memory with Chromium: Qt WebEngine's view and nothing else (only
// that module linked), maximized on the page given as its argument. It reports every finished load
// in the words the browser uses.

#include <QApplication>
#include <QDebug>
#include <QUrl>
#include <QWebEngineView>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 2) {
        qWarning("usage: BareWebEngineView ADDRESS");
        return 2;
    }
    QWebEngineView view;
    QObject::connect(&view, &QWebEngineView::loadFinished,
                     [](bool ok) { qDebug() << "finished with ok: " << ok; });
    view.showMaximized();
    view.setUrl(QUrl(QString::fromLocal8Bit(argv[1]), QUrl::TolerantMode));
    return app.exec();
}
