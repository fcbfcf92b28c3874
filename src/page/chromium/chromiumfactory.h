#pragma once

#include <QString>

class Browsing;
class Page;
class QWidget;

// What the Chromium module makes for the program. Everything that needs Qt WebEngine lives in that
// module, which the program loads only when Chromium is chosen: a start with WebKit then never maps
// and relocates Qt WebEngine's libraries. The module uses the program's own Page, logging categories
// and page scripts, so it loads only into a program that exports them.
class ChromiumFactory
{
public:
    // A QWebEngineView as the browser shows pages in it, a child of parent, keeping cookies and site
    // data in the folder storage, or off the record when it is empty.
    virtual QWidget *createView(QWidget *parent, const QString &storage) const = 0;
    // The page shown in view, which createView() made; the caller owns it.
    virtual Page *createPage(QWidget *view) const = 0;
    // The history, printing and downloads of view, which createView() made; the caller owns it.
    virtual Browsing *createBrowsing(QWidget *view) const = 0;
    // The title of an off-the-record page once html has loaded and its script has run; for the
    // installation check, which leaves nothing in the user's folders.
    virtual QString checkPageTitle(const QString &html) const = 0;

protected:
    ~ChromiumFactory() = default;
};

// The module's one entry point, under this name. It answers null to a program of another version,
// whose Page and scripts need not be those it was built against.
using ChromiumFactoryFunction = const ChromiumFactory *(*)(const char *programVersion);
inline constexpr char chromiumFactorySymbol[] = "kakikomi_chromium_factory";
