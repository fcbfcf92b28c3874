#include "app/commandline.h"

#include "logging.h"
#include "page/enginefactory.h"
#include "profile/profile.h"
#include "store/profiledocument.h"
#include "store/profilestore.h"
#include "text/prefecturelist.h"

#include <QComboBox>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QStatusBar>
#include <QTextStream>

#include <memory>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Options
{
    QCommandLineOption profileDir{QStringLiteral("profile-dir"),
                                  QStringLiteral("Keep profile.json and read jp-prefectures.txt in <folder> "
                                                 "instead of the current directory. A missing folder is "
                                                 "created, readable by you only."),
                                  QStringLiteral("folder")};
    QCommandLineOption userProfile{
        QStringLiteral("user-profile"),
        QStringLiteral("Use the folder kakikomi in your data folder, "
                       "${XDG_DATA_HOME:-~/.local/share}/kakikomi, as --profile-dir "
                       "would. The application menu starts Kakikomi this way.")};
    QCommandLineOption engine{QStringLiteral("engine"),
                              QStringLiteral("Show pages with <engine>: webkit, the default, or chromium. "
                                             "Overrides the \"engine\" member of profile.json."),
                              QStringLiteral("engine")};
    // For the installation check: what the 個人情報入力 dialog's prefecture list holds, and from
    // which file.
    QCommandLineOption checkPrefectures{QStringLiteral("check-prefectures"),
                                        QStringLiteral("Print the number of prefectures the dialog lists and "
                                                       "the list's file, then quit.")};
    // For the installation check and the tests: which engine the window would use, and that it
    // runs a page's script.
    QCommandLineOption checkEngine{QStringLiteral("check-engine"),
                                   QStringLiteral("Show a small page with the engine pages would be shown "
                                                  "with, print the engine's name, then quit.")};
    QCommandLineOption help;
    QCommandLineOption version;

    explicit Options(QCommandLineParser &parser)
        : help(parser.addHelpOption())
        , version(parser.addVersionOption())
    {
        QCoreApplication::setApplicationVersion(QStringLiteral(KAKIKOMI_VERSION));
        parser.setApplicationDescription(QStringLiteral(
            "A web browser that fills in Japanese web forms with your stored personal data.\n"
            "Kakikomi keeps profile.json, and reads jp-prefectures.txt, in its current "
            "directory;\nthe options below choose another folder, and the engine that shows the pages."));
        checkPrefectures.setFlags(QCommandLineOption::HiddenFromHelp);
        checkEngine.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(profileDir);
        parser.addOption(userProfile);
        parser.addOption(engine);
        parser.addOption(checkPrefectures);
        parser.addOption(checkEngine);
    }
};

void printError(const QString &message, bool usage = false)
{
    QTextStream err(stderr);
    const QString program = QCoreApplication::applicationName();
    err << program << ": " << message << '\n';
    if (usage) {
        err << "Try '" << program << " --help' for more information.\n";
    }
}

// The engine profile.json of the current directory names; WebKit when it names none. A name the
// program does not know is only warned about: the file may come from a later version.
Engine profileEngine()
{
    if (!QFileInfo::exists(ProfileStore::profilePath())) {
        return Engine::WebKit;
    }
    ProfileDocument document;
    document.load();
    const QString name = document.engine();
    if (name.isEmpty()) {
        return Engine::WebKit;
    }
    const std::optional<Engine> engine = Engines::fromName(name);
    if (!engine) {
        qCWarning(lcApp) << "profile.json names an unknown engine," << name << "- using webkit";
    }
    return engine.value_or(Engine::WebKit);
}

// Chromium refuses to start its sandbox as root and would end the program at the first page with
// a line of its own that does not say what to do.
bool sandboxRefusesToRun()
{
    if (::getuid() != 0 || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        return false;
    }
    const QStringList flags =
        qEnvironmentVariable("QTWEBENGINE_CHROMIUM_FLAGS").split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return !flags.contains(QStringLiteral("--no-sandbox"));
}

// Whether the engine shows a page and runs its script: for an installation, Chromium's helper
// process and resources come from other packages than its libraries.
bool showsCheckPage(Engine engine)
{
    const QString html = QStringLiteral("<script>document.title = 'ready:' + (1 + 1);</script>");
    return EngineFactory::checkPageTitle(engine, html) == QLatin1String("ready:2");
}

} // namespace

std::optional<int> CommandLine::answerWithoutWindow(int argc, char *argv[])
{
    static const char *const answered[] = {"-h", "-?", "--help", "--help-all", "-v", "--version"};
    bool asked = false;
    for (int i = 1; i < argc && !asked; ++i) {
        for (const char *name : answered) {
            asked = asked || qstrcmp(argv[i], name) == 0;
        }
    }
    if (!asked) {
        return std::nullopt;
    }
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const Options options(parser);
    // Window-system options are unknown here and do not matter: the answer is only text.
    parser.parse(app.arguments());
    if (parser.isSet(options.version)) {
        parser.showVersion();
    }
    if (parser.isSet(options.help) || parser.isSet(QStringLiteral("help-all"))) {
        parser.showHelp(Success);
    }
    // The name was an option's value (--profile-dir -v): the window-system options are read first.
    return std::nullopt;
}

std::optional<int> CommandLine::apply(const QStringList &arguments)
{
    QCommandLineParser parser;
    const Options options(parser);
    if (!parser.parse(arguments)) {
        printError(parser.errorText(), true);
        return UsageError;
    }
    if (parser.isSet(options.version)) {
        parser.showVersion();
    }
    if (parser.isSet(options.help) || parser.isSet(QStringLiteral("help-all"))) {
        parser.showHelp(Success);
    }
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()),
                   true);
        return UsageError;
    }
    if (parser.isSet(options.profileDir) && parser.isSet(options.userProfile)) {
        printError(QStringLiteral("Give either --profile-dir or --user-profile, not both."), true);
        return UsageError;
    }
    std::optional<Engine> chosenEngine;
    if (parser.isSet(options.engine)) {
        chosenEngine = Engines::fromName(parser.value(options.engine));
        if (!chosenEngine) {
            printError(QStringLiteral("Unknown engine '%1': give webkit or chromium.")
                           .arg(parser.value(options.engine)),
                       true);
            return UsageError;
        }
    }
    QString folder;
    if (parser.isSet(options.profileDir)) {
        folder = parser.value(options.profileDir);
        if (folder.isEmpty()) {
            printError(QStringLiteral("--profile-dir needs a folder."), true);
            return UsageError;
        }
    } else if (parser.isSet(options.userProfile)) {
        folder = userProfileDir();
    }
    if (!folder.isEmpty()) {
        QString error;
        if (!enterFolder(folder, &error)) {
            printError(error);
            return Failure;
        }
        folderGiven = true;
    }
    // The profile is read only when the command line leaves the choice to it, as the menu does not.
    m_engine = chosenEngine ? *chosenEngine : profileEngine();
    if (m_engine == Engine::Chromium && sandboxRefusesToRun()) {
        printError(QStringLiteral(
            "the chromium engine cannot run as root with its sandbox. Start Kakikomi as a normal user, "
            "or use --engine webkit; to run Chromium without its sandbox, set "
            "QTWEBENGINE_DISABLE_SANDBOX=1."));
        return Failure;
    }
    // Chromium's libraries are loaded only now, and a program that cannot load them stops before any
    // window, as a missing library would have stopped it.
    QString moduleError;
    if (!EngineFactory::load(m_engine, &moduleError)) {
        printError(QStringLiteral("the chromium engine cannot be loaded: %1").arg(moduleError));
        return Failure;
    }
    if (parser.isSet(options.checkEngine)) {
        if (!showsCheckPage(m_engine)) {
            printError(
                QStringLiteral("the %1 engine did not show its check page").arg(Engines::name(m_engine)));
            return Failure;
        }
        QTextStream(stdout) << Engines::name(m_engine) << '\n';
        return Success;
    }
    if (parser.isSet(options.checkPrefectures)) {
        Profile dialog;
        const auto *list = dialog.findChild<QComboBox *>(QStringLiteral("pref"));
        QTextStream(stdout) << (list ? list->count() : 0) << '\t' << PrefectureList::filePath() << '\n';
        return Success;
    }
    return std::nullopt;
}

void CommandLine::greetNewUser(QMainWindow &window) const
{
    if (folderGiven && !QFileInfo::exists(ProfileStore::profilePath())) {
        window.statusBar()->showMessage(QCoreApplication::translate(
            "MainWindow", "情報入力 → 個人情報入力 で個人情報を入力してください"));
    }
}

QString CommandLine::userProfileDir()
{
    // Only an absolute XDG_DATA_HOME counts; a relative one is to be ignored.
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) {
        dataHome = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(dataHome + QStringLiteral("/kakikomi"));
}

bool CommandLine::enterFolder(const QString &path, QString *error)
{
    const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QStringList missing;
    for (QString at = absolute; !QFileInfo::exists(at) && at != QFileInfo(at).path();
         at = QFileInfo(at).path()) {
        missing.prepend(at);
    }
    QStringList created;
    for (const QString &folder : qAsConst(missing)) {
        // Made for the user only from the start: the profile holds a password in plain text.
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
            const int code = errno;
            *error =
                QStringLiteral("cannot create the profile folder %1: %2").arg(folder, qt_error_string(code));
            for (auto it = created.crbegin(); it != created.crend(); ++it) {
                QDir().rmdir(*it);
            }
            return false;
        }
        created.append(folder);
    }
    if (!QFileInfo(absolute).isDir()) {
        *error = QStringLiteral("the profile folder %1 is not a folder").arg(absolute);
        return false;
    }
    if (!QDir::setCurrent(absolute)) {
        *error = QStringLiteral("cannot enter the profile folder %1").arg(absolute);
        return false;
    }
    return true;
}
