#include "fill/rulefiller.h"

#include "fill/selectmatcher.h"

#include "logging.h"
#include "store/profiledocument.h"
#include <QStringList>

RuleFiller::RuleFiller(Page &page, ProfileDocument &document, QObject *parent)
    : QObject(parent)
    , m_page(page)
    , m_document(document)
{
}

int RuleFiller::apply(const QVector<PageControl> &controls, Controls which)
{
    const QVector<Page::Write> writes = writesFor(controls, which, true);
    if (!writes.isEmpty()) {
        m_page.write(writes, [](const QVector<Page::State> &) {});
    }
    return writes.size();
}

bool RuleFiller::wouldFill(const QVector<PageControl> &controls) const
{
    return !writesFor(controls, Controls::Any, false).isEmpty();
}

QVector<Page::Write> RuleFiller::writesFor(const QVector<PageControl> &controls, Controls which,
                                           bool log) const
{
    const QVariantMap &rules = m_document.pageRules();
    QVector<Page::Write> selects;
    QVector<Page::Write> fields;
    if (rules.isEmpty()) {
        return selects;
    }
    for (const PageControl &control : controls) {
        if (control.tag == QLatin1String("TEXTAREA") || (which == Controls::Seen && !control.visible)) {
            continue;
        }
        // A control answers to the rules of its identifier and of its name, the name's last.
        QStringList identifiers;
        if (control.ownsIdentifier) {
            identifiers.append(control.identifier);
        }
        const QString name =
            control.frame.isEmpty() ? control.name : control.frame + QLatin1Char('/') + control.name;
        if (control.ownsName && name != control.identifier) {
            identifiers.append(name);
        }
        for (const QString &identifier : qAsConst(identifiers)) {
            const auto rule = rules.constFind(identifier);
            if (rule == rules.constEnd()) {
                continue;
            }
            const QString key = rule.value().toString();
            const QString value = m_document.readValue(key).value_or(QString());
            if (control.tag == QLatin1String("SELECT")) {
                const int index =
                    SelectMatcher::match(control.options, value, SelectMatcher::kindForKey(key));
                if (index >= 0) {
                    selects.append({control.handle, control.options[index].value, Page::How::Replace, true});
                }
            } else {
                // A recorded clearing (or a key with no value) empties the field.
                fields.append({control.handle, value, Page::How::Replace, true});
            }
            if (log) {
                qCDebug(lcFill) << "refill" << Logging::masked(identifier) << key;
            }
        }
    }
    // Selects first: a page that redraws its form from its own state when a select changes would
    // otherwise redraw over fields filled before it.
    return selects + fields;
}
