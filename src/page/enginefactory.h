#pragma once

#include "page/browsing.h"
#include "page/engine.h"
#include "page/page.h"

#include <memory>

class QNetworkAccessManager;
class QWidget;

// What a window shows pages with, made for one engine: all the window knows of either engine.
struct EngineParts
{
    // A child of the parent given; its loadStarted, loadProgress, loadFinished and urlChanged
    // signals and its url property are the same in both engines.
    QWidget *view = nullptr;
    std::unique_ptr<Page> page;
    std::unique_ptr<Browsing> browsing;
    // Where the classic engine's requests go, for the window to hear of certificate errors; null
    // with Chromium, whose view accepts them itself.
    QNetworkAccessManager *network = nullptr;
};

namespace EngineFactory {

// The view, page and browsing of engine. With keepCookies, cookies and site data are kept beside
// profile.json in the current folder; else they stay off the record. Chromium's parts come from
// its module, which the command line has loaded.
EngineParts create(Engine engine, QWidget *parent, bool keepCookies);

// Loads what the engine needs beyond the program (Chromium's module); false, and error says why,
// when it cannot be loaded.
bool load(Engine engine, QString *error);

// The title of an off-the-record page once html has loaded and its script has run; for the
// installation check, which leaves nothing in the user's folders.
QString checkPageTitle(Engine engine, const QString &html);

} // namespace EngineFactory
