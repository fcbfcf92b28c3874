// Loading and saving profile.json as the recorded pages pile up: every choice in a form saves the
// whole document, so the save time is what a user waits for after each pick.

#include "store/profilestore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

QJsonObject documentWithSites(int pages)
{
    QJsonObject profile;
    for (const char *key :
         {"familyName", "lastName", "familyNameK", "lastNameK", "city", "mail", "telephone"}) {
        profile.insert(key, QStringLiteral("値-%1").arg(key));
    }
    QJsonObject sites;
    for (int page = 0; page < pages; ++page) {
        QJsonObject rules;
        for (int field = 0; field < 10; ++field) {
            rules.insert(QStringLiteral("field%1").arg(field), "familyName");
        }
        sites.insert(
            QStringLiteral("https://shop%1.example.jp/members/register?step=%2").arg(page).arg(page % 3),
            rules);
    }
    return {{"profile", profile}, {"sites", sites}, {"startPage", "https://example.jp/"}};
}

double medianMs(std::vector<qint64> &nanoseconds)
{
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return nanoseconds[nanoseconds.size() / 2] / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QTextStream out(stdout);
    out << "pages  file kB   load ms   save ms\n";
    for (const int pages : {10, 100, 1000, 10000}) {
        QHash<QString, QVariant> values;
        ProfileStore store(values);
        QJsonObject root = documentWithSites(pages);
        store.save(root);
        const int rounds = pages >= 10000 ? 5 : 21;
        std::vector<qint64> loads, saves;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            values.clear();
            root = store.load().value_or(QJsonObject());
            loads.push_back(timer.nsecsElapsed());
            timer.restart();
            store.save(root);
            saves.push_back(timer.nsecsElapsed());
        }
        out << QString::asprintf("%5d %9.1f %9.2f %9.2f\n", pages, QFileInfo("profile.json").size() / 1024.0,
                                 medianMs(loads), medianMs(saves));
        out.flush();
    }
    return 0;
}
