#pragma once

#include "page/engine.h"

#include <QString>
#include <QStringList>

#include <optional>

class QMainWindow;

// The program's command line. Without options Kakikomi keeps its files in the current directory;
// --profile-dir names another folder and --user-profile picks the user's data folder, which is how
// the application menu starts it. Each folder is entered before anything is read from it.
//
// --engine picks the web engine; without it the profile's "engine" member does, and without that
// WebKit. Chromium's sandbox does not run as root: started so, the program says what to do and
// exits unless the user turned the sandbox off with QTWEBENGINE_DISABLE_SANDBOX.
class CommandLine
{
public:
    enum ExitCode
    {
        Success = 0,
        Failure = 1,
        UsageError = 2
    };

    // --help and --version, answered before the window system is reached so that they work without
    // a display. Nothing when neither is asked for.
    static std::optional<int> answerWithoutWindow(int argc, char *argv[]);

    // Reads the arguments that the application object left, enters the profile folder when one is
    // given, settles the engine and answers the installation checks. An exit code when the program
    // stops here; errors are written to standard error.
    std::optional<int> apply(const QStringList &arguments);

    // The engine settled by apply(): the command line's, else profile.json's, else WebKit.
    Engine engine() const { return m_engine; }

    // A first start in a profile folder: no profile.json yet, so once the empty start page has
    // loaded, the status bar says where the personal data is entered. Call before the event loop runs.
    void greetNewUser(QMainWindow &window) const;

    // ${XDG_DATA_HOME:-~/.local/share}/kakikomi
    static QString userProfileDir();

    // Makes path the current directory, creating its missing folders for the user only. On failure
    // nothing created stays and error says why.
    static bool enterFolder(const QString &path, QString *error);

private:
    bool folderGiven = false;
    Engine m_engine = Engine::WebKit;
};
