#pragma once

#include <QJsonObject>

// The field menu a new user gets: a profile without an "actions" member would otherwise offer
// nothing but the three commands. The table is used in place of the member and never written into
// the file; any "actions" member, even an empty one, is the user's own choice and wins.
namespace DefaultActions {

// The built-in table, in the format of the "actions" member: label to a list holding the key.
QJsonObject table();

// The document's "actions" member as an object (empty when it is not one), or the built-in table
// when the document has no such member.
QJsonObject actionsOf(const QJsonObject &root);

} // namespace DefaultActions
