#include "app/shortcuts.h"

#include "logging.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonValue>

#include <optional>

namespace {

// Input methods keep Ctrl+Shift+U for themselves (IBus's and Fcitx 5's Unicode entry), so a focused
// text field may never pass it on; Ctrl+Shift+L is taken by none of IBus, Fcitx 5, Mozc or the
// common desktops. Ctrl+Shift+U still works where nothing takes it.
const QHash<QString, QList<QKeySequence>> &defaults()
{
    static const QHash<QString, QList<QKeySequence>> table{
        {QStringLiteral("fillPage"),
         {QKeySequence(QStringLiteral("Ctrl+Shift+L")), QKeySequence(QStringLiteral("Ctrl+Shift+U"))}},
        {QStringLiteral("undoFill"), {}},
    };
    return table;
}

std::optional<QKeySequence> sequenceOf(const QJsonValue &value)
{
    if (!value.isString()) {
        return std::nullopt;
    }
    const QKeySequence sequence =
        QKeySequence::fromString(value.toString().trimmed(), QKeySequence::PortableText);
    if (sequence.isEmpty()) {
        return std::nullopt;
    }
    for (int i = 0; i < sequence.count(); ++i) {
        if ((sequence[i] & ~Qt::KeyboardModifierMask) == Qt::Key_unknown) {
            return std::nullopt;
        }
    }
    return sequence;
}

} // namespace

QHash<QString, QList<QKeySequence>> Shortcuts::read(const QJsonObject &root)
{
    QHash<QString, QList<QKeySequence>> bindings = defaults();
    const QJsonObject member = root.value(QStringLiteral("shortcuts")).toObject();
    for (auto it = member.constBegin(); it != member.constEnd(); ++it) {
        if (!bindings.contains(it.key())) {
            qCWarning(lcApp) << "shortcuts: no action is called" << it.key();
            continue;
        }
        const QJsonArray values = it->isArray() ? it->toArray() : QJsonArray{*it};
        QList<QKeySequence> sequences;
        bool understood = true;
        for (const QJsonValue &value : values) {
            if (value.isString() && value.toString().trimmed().isEmpty()) {
                continue;
            }
            const std::optional<QKeySequence> sequence = sequenceOf(value);
            if (!sequence) {
                qCWarning(lcApp) << "shortcuts: not a key sequence for" << it.key() << value;
                understood = false;
                break;
            }
            sequences.append(*sequence);
        }
        if (understood) {
            bindings.insert(it.key(), sequences);
        }
    }
    return bindings;
}

void Shortcuts::apply(const QJsonObject &root, const QHash<QString, QAction *> &actions)
{
    const QHash<QString, QList<QKeySequence>> bindings = read(root);
    for (auto it = actions.constBegin(); it != actions.constEnd(); ++it) {
        it.value()->setShortcuts(bindings.value(it.key()));
    }
}
