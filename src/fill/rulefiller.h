#pragma once

#include "page/page.h"

#include <QObject>

class ProfileDocument;

// Refills the rules recorded for the page shown into controls given to it: the page's at its load,
// and those that appear later. Each control answering to a recorded identifier (its own, or its
// name) gets the key's value the way typing puts it there; a select, the option standing for it.
// The user asked for none of it just now: a control the user is composing text in is left alone.
class RuleFiller : public QObject
{
    Q_OBJECT

public:
    RuleFiller(Page &page, ProfileDocument &document, QObject *parent = nullptr);

    enum class Controls
    {
        Any, // at the load: what was filled there before, whether the page shows it or not
        Seen, // added later: only what the user can see
    };
    // Fills those of controls that have a rule; answers how many writes it made.
    int apply(const QVector<PageControl> &controls, Controls which);
    // Whether apply would fill any of them.
    bool wouldFill(const QVector<PageControl> &controls) const;

private:
    QVector<Page::Write> writesFor(const QVector<PageControl> &controls, Controls which, bool log) const;

    Page &m_page;
    ProfileDocument &m_document;
};
