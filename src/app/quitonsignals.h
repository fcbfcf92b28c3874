#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop as closing the window does when the process is asked to stop (SIGTERM from a
// session that ends, SIGHUP, SIGINT): the window and the engine then shut down in order, and what
// they keep on disk (cookies above all; Chromium writes its own only now and then) is written out.
// One per process.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject *parent = nullptr);
    ~QuitOnSignals() override;

private:
    static void handle(int signal);
    void received();

    QSocketNotifier *m_notifier = nullptr;
};
