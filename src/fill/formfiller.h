#pragma once

#include "page/page.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

class FieldFiller;
class ProfileDocument;

// Fills the whole form of the page shown in one action: every control the user can see and the
// recognizer is sure of gets its value the way typing would put it there, and each one filled is
// recorded for the page like a choice from the field menu, so that the next visit refills it.
class FormFiller : public QObject
{
    Q_OBJECT

public:
    // Fills the page; values and rules come from document, the input language from menu (the fill
    // offers what the field menu would).
    FormFiller(Page &page, ProfileDocument &document, const FieldFiller &menu, QObject *parent = nullptr);
    ~FormFiller() override;

    // Fills what is empty on the page shown. A postal code goes in first; when more is to come, the
    // rest waits until the page has reacted to it (address lookups), so the fill may end after this
    // returns: finished reports its end. A call while a fill is under way does nothing.
    void fillPage();
    bool busy() const { return m_busy; }

    // The time the last finished fill spent working, without its wait for the page.
    qint64 lastWorkNanoseconds() const { return m_worked; }
    // Of it, the save that recorded the fields.
    qint64 lastSaveNanoseconds() const { return m_saving; }

    // How long the page gets to react to the postal code: the wait ends after reaction ms when
    // nothing changed, else once fields have stayed unchanged for quiet ms, and never after longest.
    static constexpr int reactionMs = 500;
    static constexpr int quietMs = 200;
    static constexpr int longestMs = 2000;

signals:
    // filled: fields that hold their value now, by this fill or by the page agreeing with it; left:
    // empty fields of the forms it filled that are still empty, for the user.
    void finished(int filled, int left);

private:
    struct Control
    {
        PageControl page;
        QString identifier; // to record under; empty when rules would refill another control
        QString shownIdentifier; // for the log
        bool select = false;
        bool check = false; // a radio button, checked when it stands for the value
        bool countsWhenEmpty = false; // a field the user is expected to fill when it is empty
        QString key; // what goes in; empty when the field is left alone
        QString evidence;
        QString value;
        int option = -1; // selects: the option standing for the value
        enum State
        {
            Untouched,
            Pending,
            Filled,
            Kept
        } state = Untouched;
    };

    void start(const QVector<PageControl> &scanned);
    // Writes the pending controls (only postal codes when postalOnly), then calls next.
    void fillPending(bool postalOnly, const std::function<void()> &next);
    void settle(Control &control, const Page::State &state);
    void waitForPage();
    void poll();
    void finish();
    void conclude(const QVector<Page::State> &states, const QVector<int> &asked);
    void cancel();
    void end();
    // Whether a callback of the fill started as run still belongs to the fill under way.
    bool current(int run) const { return m_busy && run == m_run; }
    QVector<Page::Handle> pendingHandles() const;

    Page &m_page;
    ProfileDocument &m_document;
    const FieldFiller &m_menu;

    bool m_busy = false;
    int m_run = 0;
    QString m_address;
    QVector<Control> m_controls;
    QTimer m_poll;
    QElapsedTimer m_waited;
    QElapsedTimer m_sinceChange;
    bool m_pageChanged = false;
    bool m_readPending = false;
    QStringList m_lastValues;
    QElapsedTimer m_working;
    qint64 m_worked = 0;
    qint64 m_saving = 0;
};
