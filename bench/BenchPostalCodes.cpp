// The postal-code dictionary behind the profile dialog's address fill: the read of the whole file,
// which the first complete code in a session waits for, and one lookup, which every code waits for.
// Reads skkdic-extra's file, or the one given as the first argument that is not an option.

#include "benchsupport.h"
#include "text/postalcodes.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString path = PostalCodes::debianPath();
    for (const QString &argument : app.arguments().mid(1)) {
        if (!argument.startsWith(QLatin1Char('-'))) {
            path = argument;
        }
    }
    Bench::printHeader(argc, argv);
    if (!QFileInfo::exists(path)) {
        std::fprintf(stderr, "%s is absent: install skkdic-extra\n", qPrintable(path));
        return 0;
    }

    std::vector<qint64> loads;
    PostalCodes codes;
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer timer;
        timer.start();
        codes.load(path);
        loads.push_back(timer.nsecsElapsed());
    }
    const QString size = Bench::count(codes.size()) + QStringLiteral(" codes, ")
                         + QString::number(QFileInfo(path).size() / 1024) + QStringLiteral(" kB");
    const double loadMs = Bench::medianMs(loads);
    Bench::printRow({QStringLiteral("postal codes: load"), size, Bench::ms(loadMs), QString(), QString(),
                     QStringLiteral("< 100 ms"), loadMs < 100});

    // Codes that are there, a ward's, a 郡 town's and those spanning several municipalities or towns
    // among them, and one that is not.
    const QStringList typed{"530-0001", "0610201", "4300854", "0350000", "0028089", "9630201", "5300009"};
    std::vector<qint64> lookups;
    int found = 0;
    for (int round = 0; round < 7; ++round) {
        const int repeats = 200;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < repeats; ++i) {
            for (const QString &code : typed) {
                found += codes.lookup(code).size();
            }
        }
        lookups.push_back(timer.nsecsElapsed() / (repeats * typed.size()));
    }
    const double lookupMs = Bench::medianMs(lookups);
    Bench::printRow({QStringLiteral("postal codes: one lookup"), size, Bench::ms(lookupMs), QString(),
                     QString(), QStringLiteral("< 1 ms"), lookupMs < 1 && found > 0});
    return 0;
}
