#include "page/chromium/chromiumfactory.h"

#include "page/chromium/chromiumbrowsing.h"
#include "page/chromium/chromiumpage.h"
#include "page/chromium/chromiumview.h"

#include <QEventLoop>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <type_traits>

namespace {

class Factory final : public ChromiumFactory
{
public:
    QWidget *createView(QWidget *parent, const QString &storage) const override
    {
        return new ChromiumView(parent, storage);
    }

    Browsing *createBrowsing(QWidget *view) const override
    {
        auto *chromiumView = qobject_cast<ChromiumView *>(view);
        Q_ASSERT(chromiumView);
        return new ChromiumBrowsing(chromiumView);
    }

    Page *createPage(QWidget *view) const override
    {
        auto *chromiumView = qobject_cast<ChromiumView *>(view);
        Q_ASSERT(chromiumView);
        return new ChromiumPage(chromiumView);
    }

    QString checkPageTitle(const QString &html) const override
    {
        QEventLoop loop;
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        // Off the record, so that the check leaves nothing in the user's folders.
        QWebEngineProfile profile;
        QWebEngineView view;
        auto *page = new QWebEnginePage(&profile, &view);
        view.setPage(page);
        bool finished = false;
        QObject::connect(page, &QWebEnginePage::loadFinished, &loop, [&] {
            finished = true;
            loop.quit();
        });
        page->setHtml(html);
        if (!finished) {
            loop.exec();
        }
        const QString title = page->title();
        // The page must go before its profile.
        delete page;
        return title;
    }
};

} // namespace

extern "C" Q_DECL_EXPORT const ChromiumFactory *kakikomi_chromium_factory(const char *programVersion)
{
    static const Factory factory;
    return qstrcmp(programVersion, KAKIKOMI_VERSION) == 0 ? &factory : nullptr;
}

static_assert(std::is_same_v<decltype(&kakikomi_chromium_factory), ChromiumFactoryFunction>,
              "the entry point must match what the program looks up");
