#include "logging.h"

Q_LOGGING_CATEGORY(lcApp, "kakikomi.app", QtDebugMsg)
Q_LOGGING_CATEGORY(lcStore, "kakikomi.store", QtDebugMsg)
Q_LOGGING_CATEGORY(lcBridge, "kakikomi.bridge", QtDebugMsg)
Q_LOGGING_CATEGORY(lcFill, "kakikomi.fill", QtDebugMsg)
Q_LOGGING_CATEGORY(lcProfile, "kakikomi.profile", QtDebugMsg)

namespace Logging {

void usePlainMessages()
{
    qSetMessagePattern(QStringLiteral("%{message}"));
}

} // namespace Logging
