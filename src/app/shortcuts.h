#pragma once

#include <QHash>
#include <QJsonObject>
#include <QKeySequence>
#include <QList>
#include <QString>

class QAction;

// The window's keyboard shortcuts by action name ("fillPage", "undoFill"): their defaults, and the
// top-level "shortcuts" member of profile.json that changes them. A member value is one key
// sequence in Qt's portable text ("Ctrl+Alt+J") or a list of them; an empty one turns the action's
// shortcuts off. A value that names no key is warned about and the default stays.
namespace Shortcuts {

// The bindings of every action, the first one shown in the menu.
QHash<QString, QList<QKeySequence>> read(const QJsonObject &root);

// Gives each named action its bindings.
void apply(const QJsonObject &root, const QHash<QString, QAction *> &actions);

} // namespace Shortcuts
