#pragma once

#include <QString>

#include <optional>

// The web engine that shows the pages, chosen once at start-up and kept for the life of the process:
// Qt WebKit, the engine Kakikomi has always used, or Chromium through Qt WebEngine.
enum class Engine
{
    WebKit,
    Chromium
};

namespace Engines {

// The names used on the command line and in profile.json's "engine" member.
inline QString name(Engine engine)
{
    return engine == Engine::Chromium ? QStringLiteral("chromium") : QStringLiteral("webkit");
}

// Nothing for a name that is neither; names are matched exactly, as written in the file.
inline std::optional<Engine> fromName(const QString &name)
{
    if (name == QLatin1String("webkit")) {
        return Engine::WebKit;
    }
    if (name == QLatin1String("chromium")) {
        return Engine::Chromium;
    }
    return std::nullopt;
}

} // namespace Engines
