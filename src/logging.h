#pragma once

#include <QLoggingCategory>

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

} // namespace Logging
