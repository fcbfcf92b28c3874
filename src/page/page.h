#pragma once

#include "page/pagecontrol.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>

class QWidget;

// All the fill code sees of the page shown, whatever engine shows it. Calls that reach into the page
// answer through a callback: an engine may answer at once, inside the call, or later from the event
// loop. A call the page leaves unanswered because a load took it away is answered as an empty page
// would answer it (no controls, no control found), after loadStarted.
class Page : public QObject
{
    Q_OBJECT

public:
    using Handle = qint64;

    // How a write puts its text into the control, always the way typing does (focus, keydown, the
    // value, input, keyup, change, blur).
    enum class How
    {
        Replace, // the whole value becomes the text
        AtSelection, // the text replaces the selection or goes in at the caret
        IfEmpty, // Replace, on a control that is still empty; others stay as they are
        IfUnchosen, // Replace, on a select still at a placeholder (an empty value, or nothing chosen)
        Check, // checks a radio button the way a click does (its group's other button goes off)
        Uncheck, // takes the check off a radio button or check box
    };

    struct Write
    {
        Handle handle = 0;
        QString text;
        How how = How::Replace;
        // The browser's own write, which the user did not ask for just now: a control the user is
        // composing text in with an input method is left as it is.
        bool unasked = false;
    };

    // A control's state after a write, or as read.
    struct State
    {
        bool found = false; // false when the handle reaches no control
        bool written = false; // whether the write took place (IfEmpty, IfUnchosen may decline)
        QString value;
        int selectedIndex = -1; // selects only
        bool checked = false; // radio buttons and check boxes
        // Written, then taken out of its document by the page's answer (a form rendered again).
        bool replaced = false;
    };

    using Scanned = std::function<void(const QVector<PageControl> &)>;
    using Done = std::function<void(const QVector<State> &)>;
    using OptionsRead = std::function<void(const QVector<QVector<PageControl::Option>> &)>;

    explicit Page(QObject *parent = nullptr)
        : QObject(parent)
    {
    }

    // The widget the page is shown in: menus open over it.
    virtual QWidget *widget() const = 0;
    // The address shown, in its default text form.
    virtual QString address() const = 0;
    // Whether the document shown came over a connection with certificate errors (which the browser
    // accepts): recorded values are then not filled in on their own.
    virtual bool insecure() const = 0;

    enum class Frames
    {
        All, // the main frame and its same-origin frames
        Sub, // the same-origin frames only
    };

    // The controls (inputs, selects, text areas) of the frames, in document order, frame after frame.
    virtual void scan(const Scanned &done, Frames frames = Frames::All) = 0;
    // Carries out the writes in order; done gets one state per write.
    virtual void write(const QVector<Write> &writes, const Done &done) = 0;
    // The controls' current states.
    virtual void read(const QVector<Handle> &handles, const Done &done) = 0;
    // The selects' options as they are now (a city list that follows the chosen prefecture), one
    // list for each handle: empty where it reaches no select.
    virtual void readOptions(const QVector<Handle> &handles, const OptionsRead &done) = 0;

    // Ends any input method composition open in the page, so that what is written next stays.
    virtual void endComposition() = 0;
    // The states in a page script's answer to a write or a read: [found, written, value, selected
    // index, checked, replaced] for each of count controls.
    static QVector<State> statesFrom(const QVariant &answer, int count)
    {
        const QVariantList list = answer.toList();
        QVector<State> states(count);
        for (int i = 0; i < count && i < list.size(); ++i) {
            const QVariantList state = list[i].toList();
            states[i].found = state.value(0).toBool();
            states[i].written = state.value(1).toBool();
            states[i].value = state.value(2).toString();
            states[i].selectedIndex = state.value(3, -1).toInt();
            states[i].checked = state.value(4).toBool();
            states[i].replaced = state.value(5).toBool();
        }
        return states;
    }

    // Whether the field menu goes by the type attribute exactly as written (the classic bridge's
    // rule) rather than by the type HTML understands.
    virtual bool literalTypes() const { return false; }

    // What the window tells the page of its view, at the points of its own handling where the classic
    // engine has always done its part: a load finished, the address changed.
    virtual void viewLoadFinished(bool ok) { Q_UNUSED(ok) }
    virtual void viewAddressChanged() { }

    // The classic engine's bridge, which reports to one of the window's slots (which scripts outside
    // the program also call by name): publishes the "delegate" object for the document now shown,
    // whose signals reach receiver's member; and takes one of those signals. Nothing with Chromium.
    virtual void publishDelegate(QObject *receiver, const char *member)
    {
        Q_UNUSED(receiver)
        Q_UNUSED(member)
    }
    virtual void receiveSignal(const QString &sender) { Q_UNUSED(sender) }

protected:
    // A new document is shown: the handles of earlier ones reach nothing from now on.
    void newDocument() { ++m_generation; }
    // Tells the document shown: changes whenever another one is.
    quint32 generation() const { return m_generation; }
    // What the page script's handles are combined with: tells the document.
    Handle handleBase() const { return Handle(m_generation) << 32; }
    // The page script's handle, or 0 when the handle belongs to another document.
    int localHandle(Handle handle) const
    {
        return quint32(handle >> 32) == m_generation ? int(handle & 0xffffffff) : 0;
    }
    // The arguments of the page script's write and read, in its own handles.
    QVariantList writeArguments(const QVector<Write> &writes) const
    {
        QVariantList list;
        for (const Write &write : writes) {
            list.append(
                QVariant(QVariantList{localHandle(write.handle), write.text, int(write.how), write.unasked}));
        }
        return list;
    }
    // The lists of options in a page script's answer, count of them.
    static QVector<QVector<PageControl::Option>> optionListsFrom(const QVariant &answer, int count)
    {
        const QVariantList lists = answer.toList();
        QVector<QVector<PageControl::Option>> options(count);
        for (int i = 0; i < count && i < lists.size(); ++i) {
            options[i] = PageControl::optionsFromVariant(lists[i]);
        }
        return options;
    }
    QVariantList readArguments(const QVector<Handle> &handles) const
    {
        QVariantList list;
        for (const Handle handle : handles) {
            list.append(localHandle(handle));
        }
        return list;
    }

signals:
    // A load began; whatever was asked of the previous page is void.
    void loadStarted();
    // The user's own click on a control (a page script's click() or made-up events never count).
    void controlClicked(const PageControl &control);
    // Controls added to the page after its load, in batches.
    void controlsAppeared(const QVector<PageControl> &controls);
    // A script of the page being loaded could not be parsed by this engine.
    void scriptsFailed();
    // The document's script objects were cleared: time to publish the delegate again.
    void scriptObjectsCleared();

private:
    // Counts the documents shown.
    quint32 m_generation = 1;
};
