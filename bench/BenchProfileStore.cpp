// Saving and loading profile.json as recorded pages pile up. Every choice in a form saves the whole
// document, so the save is what the user waits for after each pick; the load is part of start-up.

#include "benchsupport.h"
#include "store/profilestore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

namespace {

QJsonObject documentWithSites(int pages)
{
    const QStringList keys = Bench::profileKeys();
    QJsonObject actions;
    for (const QString &key : keys) {
        actions.insert(QStringLiteral("%1を入力").arg(key), QJsonArray{key});
    }
    QJsonObject sites;
    for (int page = 0; page < pages; ++page) {
        QJsonObject rules;
        for (int field = 0; field < 10; ++field) {
            rules.insert(QStringLiteral("field%1").arg(field), keys[(page + field) % keys.size()]);
        }
        sites.insert(
            QStringLiteral("https://shop%1.example.jp/members/register?step=%2").arg(page).arg(page % 3),
            rules);
    }
    return {{"profile", Bench::fullProfile()},
            {"actions", actions},
            {"sites", sites},
            {"startPage", "https://example.jp/"}};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    Bench::printHeader(argc, argv);

    for (const int pages : {100, 1000, 10000}) {
        {
            QHash<QString, QVariant> values;
            ProfileStore writer(values);
            QJsonObject document = documentWithSites(pages);
            writer.save(document);
        }
        std::vector<qint64> loads, firstSaves, records, saves;
        for (int round = 0; round < 7; ++round) {
            // As at start-up: the document, the value table and the menu table.
            QHash<QString, QVariant> values;
            ProfileStore store(values);
            QElapsedTimer timer;
            timer.start();
            QJsonObject root = store.load().value_or(QJsonObject());
            ProfileStore::menuTable(root.value(QStringLiteral("actions")).toObject());
            loads.push_back(timer.nsecsElapsed());

            timer.restart();
            store.save(root);
            firstSaves.push_back(timer.nsecsElapsed());

            // As after each choice in a form: one page's rules change, then the whole file is saved.
            for (int choice = 0; choice < 3; ++choice) {
                const QString address =
                    root.value(QStringLiteral("sites")).toObject().keys().value(choice * 7);
                QVariantMap rules = ProfileStore::siteRules(root, address);
                rules.insert(QStringLiteral("field%1").arg(round), QStringLiteral("mail"));
                timer.restart();
                ProfileStore::storeSiteRules(root, address, rules);
                records.push_back(timer.nsecsElapsed());
                timer.restart();
                store.save(root);
                saves.push_back(timer.nsecsElapsed());
            }
        }
        const QString size = Bench::count(pages) + QStringLiteral(" pages, ")
                             + QString::number(QFileInfo(QStringLiteral("profile.json")).size() / 1024)
                             + QStringLiteral(" kB");
        const double saveMs = Bench::medianMs(saves);
        Bench::printRow({QStringLiteral("4 save after a choice"), size, Bench::ms(saveMs), QString(),
                         QString(), QStringLiteral("< 20 ms"), pages < 10000 || saveMs < 20});
        Bench::printRow({QStringLiteral("4 choice into the document"), size,
                         Bench::ms(Bench::medianMs(records)), QString(), QString(), QStringLiteral("-"),
                         true});
        Bench::printRow({QStringLiteral("4 first save of a run"), size,
                         Bench::ms(Bench::medianMs(firstSaves)), QString(), QString(), QStringLiteral("-"),
                         true});
        Bench::printRow({QStringLiteral("4 load at start-up"), size, Bench::ms(Bench::medianMs(loads)),
                         QString(), QString(), QStringLiteral("-"), true});
    }
    return 0;
}
