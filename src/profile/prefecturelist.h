#pragma once

#include <QString>
#include <QVector>

class QIODevice;

// The prefecture list, jp-prefectures.txt: one prefecture per line, TAB-separated fields, the
// kanji name in the second field and the Latin-letter name in the third.
struct Prefecture
{
    QString name;
    QString latinName;
};

namespace PrefectureList {

// jp-prefectures.txt in the current directory.
QString filePath();

// Reads the entries of an open device to its end, in file order. Lines with fewer than three
// fields are skipped.
QVector<Prefecture> parse(QIODevice &device);

} // namespace PrefectureList
