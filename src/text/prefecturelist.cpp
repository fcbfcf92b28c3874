#include "text/prefecturelist.h"

#include "logging.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QIODevice>
#include <QStringList>

namespace PrefectureList {

namespace {
const QString fileName = QStringLiteral("jp-prefectures.txt");
const int nameField = 1;
const int latinNameField = 2;

// The line's text bytes: up to a NUL byte if there is one, without the line feed and the carriage
// returns before it, so that the Latin-letter name, often the last field, never carries a line
// terminator into the profile.
QByteArray lineText(QByteArray line)
{
    const int nul = line.indexOf('\0');
    if (nul >= 0) {
        line.truncate(nul);
    }
    if (line.endsWith('\n')) {
        line.chop(1);
    }
    while (line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}
} // namespace

QString filePath()
{
    const QString current = QDir::currentPath() + QDir::separator() + fileName;
    if (QFileInfo::exists(current) || !QCoreApplication::instance()) {
        return current;
    }
    const QString shipped = QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/")
                                            + QStringLiteral(KAKIKOMI_SHARE_RELATIVE) + fileName);
    if (!QFileInfo(shipped).isFile()) {
        return current;
    }
    qCDebug(lcProfile) << "loadPrefectures: none in the current directory, reading" << shipped;
    return shipped;
}

QVector<Prefecture> parse(QIODevice &device)
{
    QVector<Prefecture> entries;
    while (!device.atEnd()) {
        const QByteArray raw = device.readLine();
        if (raw.isEmpty()) {
            // A device that cannot deliver more: stop instead of asking again forever.
            break;
        }
        const QStringList fields =
            QString::fromUtf8(lineText(raw)).split(QLatin1Char('\t'), Qt::KeepEmptyParts);
        if (fields.size() > latinNameField) {
            entries.append({fields.at(nameField), fields.at(latinNameField)});
        }
    }
    return entries;
}

} // namespace PrefectureList
