#pragma once

#include <QLoggingCategory>
#include <QStringList>
#include <QUrl>
#include <QVariant>

#include <functional>

// One category per part, debug output on unless QT_LOGGING_RULES turns it off (for example
// "kakikomi.*.debug=false"; warnings stay). The program prints messages without the category's
// name (usePlainMessages), so the lines read as they always have.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
Q_DECLARE_LOGGING_CATEGORY(lcStore)
Q_DECLARE_LOGGING_CATEGORY(lcBridge)
Q_DECLARE_LOGGING_CATEGORY(lcFill)
Q_DECLARE_LOGGING_CATEGORY(lcProfile)

namespace Logging {

// Sets the message pattern to the message alone. QT_MESSAGE_PATTERN still overrides it.
void usePlainMessages();

// The secret values a part holds in memory (the profile document, the profile dialog), asked for
// whenever a value is about to be logged. A part adds its source while it lives; owner names it.
void addSecretSource(const void *owner, const std::function<QStringList()> &secrets);
void removeSecretSource(const void *owner);

// Whether text is or contains a secret some source holds, also in the other character width
// (→全角 turns "pass" into "ｐａｓｓ").
bool holdsSecret(const QString &text);

// A value as the log may show it: unchanged, or, when it holds a secret, asterisks of the same
// length. A page's address is masked whole when the secret is in it encoded or not.
QString masked(const QString &text);
QVariant masked(const QVariant &value);
QUrl masked(const QUrl &url);

} // namespace Logging
