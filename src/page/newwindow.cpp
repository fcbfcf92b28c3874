#include "page/newwindow.h"

#include "logging.h"

#include <QStringList>

namespace NewWindow {

bool allowed(const QUrl &address, const QUrl &opener, const QUrl &shown)
{
    static const QStringList refused{QStringLiteral("data"), QStringLiteral("file"),
                                     QStringLiteral("javascript"), QStringLiteral("about")};
    const bool sameSite = opener.scheme() == shown.scheme() && opener.host() == shown.host()
                          && opener.port(-1) == shown.port(-1) && !opener.host().isEmpty();
    if (refused.contains(address.scheme().toLower()) || !sameSite) {
        qCDebug(lcBridge) << "new window refused:" << address.scheme() << "asked by" << opener.host();
        return false;
    }
    return true;
}

} // namespace NewWindow
