#pragma once

#include "page/page.h"

#include <QObject>

class ProfileDocument;

// Refills the rules recorded for the page shown into controls given to it: those that appear after
// the load, and those of same-origin frames. Each control answering to a recorded identifier gets
// the key's value the way typing puts it there; a select, the option standing for it.
class RuleFiller : public QObject
{
    Q_OBJECT

public:
    RuleFiller(Page &page, const ProfileDocument &document, QObject *parent = nullptr);

    // Fills those of controls that have a rule; answers how many it wrote into.
    int apply(const QVector<PageControl> &controls);
    // Whether apply would fill any of them.
    bool wouldFill(const QVector<PageControl> &controls) const;

private:
    QVector<Page::Write> writesFor(const QVector<PageControl> &controls, bool log) const;

    Page &m_page;
    const ProfileDocument &m_document;
};
