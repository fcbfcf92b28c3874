#include "page/chromium/chromiummodule.h"

#include "page/chromium/chromiumfactory.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLibrary>
#include <QOpenGLContext>

QT_BEGIN_NAMESPACE
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);
Q_GUI_EXPORT QOpenGLContext *qt_gl_global_share_context();
QT_END_NAMESPACE

namespace {

QOpenGLContext *shareContext = nullptr;

void deleteShareContext()
{
    qt_gl_set_global_share_context(nullptr);
    delete shareContext;
    shareContext = nullptr;
}

// Chromium's frames reach the window through textures shared with Qt's global OpenGL context. Linked
// into the program, Qt WebEngine makes that context as the application object is made; loaded later
// it finds none, warns and goes without. So the program makes it the same way before the module loads.
void shareOpenGLContexts()
{
    auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
    if (!app || qt_gl_global_share_context()) {
        return;
    }
    shareContext = new QOpenGLContext;
    shareContext->setFormat(QSurfaceFormat::defaultFormat());
    shareContext->create();
    qt_gl_set_global_share_context(shareContext);
    qAddPostRoutine(deleteShareContext);
    // Qt::AA_ShareOpenGLContexts, which Qt WebEngine also sets, can no longer be set without a warning;
    // it only keeps the scene of a view moved to another window, and the view stays in its window.
}

} // namespace

namespace ChromiumModule {

QString path()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/" KAKIKOMI_MODULE_RELATIVE "/libkakikomi-chromium.so"));
}

const ChromiumFactory *factory(QString *error)
{
    struct Loaded
    {
        const ChromiumFactory *factory = nullptr;
        QString error;
    };
    static const Loaded loaded = [] {
        Loaded result;
        shareOpenGLContexts();
        // QLibrary would report a missing file under a name it made up while looking for variants.
        if (!QFileInfo::exists(path())) {
            result.error = QStringLiteral("%1 does not exist").arg(path());
            return result;
        }
        QLibrary library(path());
        // Every symbol now: one the program lacks is an error here, not a crash at its first call.
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        const auto entry = reinterpret_cast<ChromiumFactoryFunction>(library.resolve(chromiumFactorySymbol));
        if (!entry) {
            result.error = library.errorString();
        } else if (!(result.factory = entry(KAKIKOMI_VERSION))) {
            result.error =
                QStringLiteral("%1 is not from Kakikomi %2").arg(path(), QStringLiteral(KAKIKOMI_VERSION));
        }
        return result;
    }();
    if (error) {
        *error = loaded.error;
    }
    return loaded.factory;
}

const ChromiumFactory &required()
{
    QString error;
    const ChromiumFactory *loaded = factory(&error);
    if (!loaded) {
        qFatal("the chromium engine cannot be loaded: %s", qPrintable(error));
    }
    return *loaded;
}

} // namespace ChromiumModule
