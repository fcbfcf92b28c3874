#pragma once

#include "fill/fieldrecognizer.h"
#include "page/page.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <QVector>

#include <functional>
#include <optional>

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
    // returns: finished reports its end. A call while the browser's refill runs is carried out after
    // it; one while another fill of the user's is under way does nothing.
    void fillPage();
    // The same fill run by the browser on a page where the user used it before: only into controls
    // that no recorded rule fills, and nothing is recorded, since the page is listed already. It ends
    // with refilled instead of finished.
    void refillPage();
    // この欄をまとめて入力: fills the section of someone else's that holds the control from one stored
    // person, whoever the section would otherwise go to; recorded like a menu choice, undone like a fill.
    void fillSection(Page::Handle control, int person);
    // The refill of the controls that appeared on such a page after its load.
    void refillAppeared(const QVector<PageControl> &controls);
    bool busy() const { return m_busy; }
    // After a fill that filled someone else's section: the fields filled for each, the user first
    // (an empty title) and then each stored person by title; empty when only the user's were.
    const QVector<QPair<QString, int>> &filledForPeople() const { return m_lastPeople; }

    // Puts back what the last fill on the page shown changed, with typing, where the user has not
    // changed it since, and takes back the rules it recorded and the page's refill at later visits.
    void undo();
    bool canUndo() const { return m_undo.has_value(); }
    // Another address is shown (a route change without a load): the last fill's undo is dropped.
    void pageChanged(const QString &address);

    // The time the last finished fill spent working, without its wait for the page.
    qint64 lastWorkNanoseconds() const { return m_worked; }
    // Of it, the save that recorded the fields.
    qint64 lastSaveNanoseconds() const { return m_saving; }

    // How long the page gets to react to the postal code: the wait ends after reaction ms when
    // nothing changed, else once fields have stayed unchanged for quiet ms, and never after longest.
    static constexpr int reactionMs = 500;
    static constexpr int quietMs = 200;
    static constexpr int longestMs = 2000;
    // How long the page gets to answer the writes with new options before the fill ends.
    static constexpr int answerMs = 1000;

signals:
    // filled: fields that hold their value now, by this fill or by the page agreeing with it; left:
    // empty fields of the forms it filled that are still empty, for the user.
    void finished(int filled, int left);
    // The end of a refillPage() that filled something.
    void refilled(int filled, int left);
    // Whether undo() has something to put back.
    void undoAvailable(bool available);
    // After undo(): how many controls got their earlier value back.
    void undone(int restored);
    // Instead of finished: the page the user's fill began on went away before the fill was done, and
    // what was left to write went nowhere (nor was anything recorded).
    void pageGone();

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
        QString earlier; // the value, or the chosen option's, before the fill
        QString after; // the value the page shows after the write
        bool completing = false; // the page wrote the beginning of the value: the rest goes in
        bool lost = false; // the page replaced the control while the fill wrote: look for the new one
        QString person; // Person::reference() of whom the value is, empty for the user
        bool followed = false; // page is the control the page rendered in place of the one first read
        int option = -1; // selects: the option standing for the value
        enum State
        {
            Untouched,
            Pending,
            Filled,
            Kept
        } state = Untouched;
    };

    // What undo() puts back: the controls the last fill changed, with their earlier state.
    struct Undo
    {
        struct Step
        {
            Page::Handle handle = 0;
            bool check = false; // a radio button the fill checked
            QString after; // what the fill left, to tell whether the user changed it since
            Page::Write restore; // puts the earlier state back
        };
        QString address;
        QVector<Step> steps;
        QVariantMap previousRules; // identifier to its rule before the fill (invalid: none)
    };

    void begin(bool automatic, const QVector<Page::Handle> &only);
    QVector<int> peopleFor(const QVector<PageControl> &scanned,
                           const QVector<FieldRecognizer::Decision> &decisions,
                           const QVector<FieldRecognizer::Decision> &asOwn) const;
    static int relationOption(const QVector<PageControl::Option> &options, const QString &relation);
    void start(const QVector<PageControl> &scanned);
    // Writes the pending controls (only postal codes when postalOnly), then calls next.
    void fillPending(bool postalOnly, const std::function<void()> &next);
    void settle(Control &control, const Page::State &state);
    // Pages that render their form again from their own state after each change: the fill goes on
    // in the new controls that stand where the lost ones stood (same frame, kind, id and name).
    void findReplacements(const std::function<void()> &next);
    void waitForPage();
    void poll();
    void finish();
    // After the writes: selects the page fills or enables in answer (市区町村 after the prefecture)
    // get their turn once the page has settled; then the fill concludes.
    void refillAnswered();
    void concludeFill();
    void conclude(const QVector<Page::State> &states, const QVector<int> &asked);
    void cancel();
    void end();
    // Whether a callback of the fill started as run still belongs to the fill under way.
    bool current(int run) const { return m_busy && run == m_run; }
    QVector<Page::Handle> pendingHandles() const;
    void keepUndo(const QVariantMap &previousRules);
    void dropUndo();
    void setUndo(std::optional<Undo> undo);

    Page &m_page;
    ProfileDocument &m_document;
    const FieldFiller &m_menu;

    bool m_busy = false;
    bool m_automatic = false;
    QVector<Page::Handle> m_only;
    // A refill asked for while a fill ran, and for which controls (none: all).
    bool m_queued = false;
    QVector<Page::Handle> m_queuedOnly;
    // The user asked for a fill while the browser's refill ran.
    bool m_queuedByUser = false;
    int m_run = 0;
    std::optional<Undo> m_undo;
    QString m_address;
    QVector<Control> m_controls;
    QTimer m_poll;
    QElapsedTimer m_waited;
    QElapsedTimer m_sinceChange;
    bool m_pageChanged = false;
    bool m_readPending = false;
    bool m_answered = false; // the round for what the page's answer made fillable is done
    QVector<QPair<QString, int>> m_lastPeople;
    // A fillSection() under way: the control clicked and the chosen person.
    Page::Handle m_sectionControl = 0;
    int m_sectionPerson = -1;
    bool m_sectionFill = false; // the fill under way is one section's
    int m_fruitlessRounds = 0; // rounds of writes in a row in which the page replaced every control
    QStringList m_lastValues;
    QElapsedTimer m_working;
    qint64 m_worked = 0;
    qint64 m_saving = 0;
};
