#include "fill/rulefiller.h"

#include "fill/selectmatcher.h"
#include "logging.h"
#include "store/profiledocument.h"

RuleFiller::RuleFiller(Page &page, const ProfileDocument &document, QObject *parent)
    : QObject(parent)
    , m_page(page)
    , m_document(document)
{
}

int RuleFiller::apply(const QVector<PageControl> &controls)
{
    const QVector<Page::Write> writes = writesFor(controls, true);
    if (!writes.isEmpty()) {
        m_page.write(writes, [](const QVector<Page::State> &) {});
    }
    return writes.size();
}

bool RuleFiller::wouldFill(const QVector<PageControl> &controls) const
{
    return !writesFor(controls, false).isEmpty();
}

QVector<Page::Write> RuleFiller::writesFor(const QVector<PageControl> &controls, bool log) const
{
    const QVariantMap &rules = m_document.pageRules();
    QVector<Page::Write> writes;
    if (rules.isEmpty()) {
        return writes;
    }
    for (const PageControl &control : controls) {
        if (!control.ownsIdentifier || control.tag == QLatin1String("TEXTAREA")) {
            continue;
        }
        const auto rule = rules.constFind(control.identifier);
        if (rule == rules.constEnd()) {
            continue;
        }
        const QString key = rule.value().toString();
        const QString value = m_document.value(key);
        if (control.tag == QLatin1String("SELECT")) {
            const int index = SelectMatcher::match(control.options, value, SelectMatcher::kindForKey(key));
            if (index >= 0) {
                writes.append({control.handle, control.options[index].value, Page::How::Replace});
            }
        } else {
            // A recorded clearing (or a key with no value) empties the field, as at load.
            writes.append({control.handle, value, Page::How::Replace});
        }
        if (log) {
            qCDebug(lcFill) << "refill" << Logging::masked(control.identifier) << key;
        }
    }
    return writes;
}
