#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class QPrinter;

// A file the engine was given instead of a page to show: an attachment, or a type it cannot show.
// It waits for the browser to say where it goes (or that it goes nowhere) and then reports once how
// it ended. The engine owns it; it is deleted some time after finished.
class Download : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The name the site gave the file, or the engine worked out; as hostile as anything a page says.
    virtual QString suggestedName() const = 0;
    virtual QUrl url() const = 0;
    // Writes the file to path, which does not exist yet.
    virtual void saveTo(const QString &path) = 0;
    // Drops the file: nothing is written, and finished is not emitted.
    virtual void cancel() = 0;

signals:
    // The file is complete at the path given, or is not there at all and error says why.
    void finished(bool ok, const QString &error);
};

// What the window does with the view besides the page's controls, whatever the engine: moving
// through the history, reloading, stopping a load, printing, and the downloads the engine hands over.
class Browsing : public QObject
{
    Q_OBJECT

public:
    enum class Step
    {
        Back,
        Forward,
        Reload,
        // Reload, asking every server again instead of any cache.
        ReloadFresh,
        Stop,
    };

    using QObject::QObject;

    virtual void go(Step step) = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    // Prints the page shown to printer, which must live until done is called with the outcome.
    virtual void print(QPrinter *printer, const std::function<void(bool ok)> &done) = 0;

signals:
    // The engine has a file to store. Answer with saveTo() or cancel() before returning.
    void downloadRequested(Download *download);
};
