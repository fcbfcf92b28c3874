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

// jp-prefectures.txt in the current directory, which always wins. When there is none there, the copy
// shipped with the program, found from the program's folder: share/kakikomi beside bin/ when
// installed, and the same place in the build folder, where the build copies the demo's list. A
// debug line names the copy used. With neither, the current directory's path.
QString filePath();

// Reads the entries of an open device to its end, in file order. Lines with fewer than three
// fields are skipped.
QVector<Prefecture> parse(QIODevice &device);

} // namespace PrefectureList
