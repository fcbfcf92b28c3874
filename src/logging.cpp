#include "logging.h"

#include "text/widthconversion.h"

#include <QHash>
#include <QMutex>

Q_LOGGING_CATEGORY(lcApp, "kakikomi.app", QtDebugMsg)
Q_LOGGING_CATEGORY(lcStore, "kakikomi.store", QtDebugMsg)
Q_LOGGING_CATEGORY(lcBridge, "kakikomi.bridge", QtDebugMsg)
Q_LOGGING_CATEGORY(lcFill, "kakikomi.fill", QtDebugMsg)
Q_LOGGING_CATEGORY(lcProfile, "kakikomi.profile", QtDebugMsg)

namespace Logging {

namespace {

// Messages may come from any thread.
QMutex sourcesMutex;
QHash<const void *, std::function<QStringList()>> &sources()
{
    static QHash<const void *, std::function<QStringList()>> all;
    return all;
}

QString asterisks(const QString &text)
{
    return QString(text.size(), QLatin1Char('*'));
}

} // namespace

void usePlainMessages()
{
    qSetMessagePattern(QStringLiteral("%{message}"));
}

void addSecretSource(const void *owner, const std::function<QStringList()> &secrets)
{
    QMutexLocker lock(&sourcesMutex);
    sources().insert(owner, secrets);
}

void removeSecretSource(const void *owner)
{
    QMutexLocker lock(&sourcesMutex);
    sources().remove(owner);
}

bool holdsSecret(const QString &text)
{
    if (text.isEmpty()) {
        return false;
    }
    QMutexLocker lock(&sourcesMutex);
    // Compared in half width: a conversion changes the width, not the secret.
    const QString halfWidth = WidthConversion::toHalfWidth(text);
    for (const auto &secrets : qAsConst(sources())) {
        const QStringList values = secrets();
        for (const QString &secret : values) {
            if (!secret.isEmpty()
                && (text.contains(secret) || halfWidth.contains(WidthConversion::toHalfWidth(secret)))) {
                return true;
            }
        }
    }
    return false;
}

QString masked(const QString &text)
{
    return holdsSecret(text) ? asterisks(text) : text;
}

QVariant masked(const QVariant &value)
{
    if (!value.canConvert<QString>()) {
        return value;
    }
    const QString text = value.toString();
    return holdsSecret(text) ? QVariant(asterisks(text)) : value;
}

QUrl masked(const QUrl &url)
{
    // A form sent by GET carries its fields in the query, percent-encoded and with "+" for spaces.
    const QString shown = url.toString();
    QByteArray encoded = url.toEncoded();
    encoded.replace('+', ' ');
    if (holdsSecret(shown) || holdsSecret(QUrl::fromPercentEncoding(encoded))) {
        return QUrl(asterisks(shown));
    }
    return url;
}

} // namespace Logging
