// libFuzzer target for the prefecture list reader: any bytes as jp-prefectures.txt. Besides not
// crashing, the reader must make one entry of each line with at least three TAB-separated fields
// (the line read up to a NUL byte), in file order, with the second field as the name, and no line
// terminator may reach a field: no TAB or line feed anywhere, no carriage return at the end of a
// Latin-letter name that ends its line.

#include "text/prefecturelist.h"

#include <QBuffer>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, int entry)
{
    std::fprintf(stderr, "prefecture list: %s (entry %d)\n", what, entry);
    std::abort();
}

// The lines that make entries: the fields of each, read independently of the reader.
QVector<QStringList> entryLines(const QByteArray &bytes)
{
    QVector<QStringList> lines;
    int start = 0;
    while (start < bytes.size()) {
        int end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        QByteArray line = bytes.mid(start, end - start);
        start = end;
        const int nul = line.indexOf('\0');
        if (nul >= 0) {
            line.truncate(nul);
        }
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (fields.size() >= 3) {
            lines.append(fields);
        }
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    const QVector<Prefecture> entries = PrefectureList::parse(device);

    const QVector<QStringList> lines = entryLines(bytes);
    if (entries.size() != lines.size()) {
        fail("not one entry for each line of three or more fields", int(entries.size()));
    }
    for (int i = 0; i < entries.size(); ++i) {
        const Prefecture &entry = entries.at(i);
        const QStringList &fields = lines.at(i);
        if (entry.name != fields.at(1)) {
            fail("the name is not the second field", i);
        }
        for (const QString &field : {entry.name, entry.latinName}) {
            if (field.contains(QLatin1Char('\t')) || field.contains(QLatin1Char('\n'))) {
                fail("a field holds a TAB or a line feed", i);
            }
        }
        const bool endsLine = fields.size() == 3;
        if (endsLine && entry.latinName.endsWith(QLatin1Char('\r'))) {
            fail("the Latin-letter name keeps a carriage return", i);
        }
        QString latinName = fields.at(2);
        if (endsLine) {
            // What the file holds before the line's terminator.
            while (latinName.endsWith(QLatin1Char('\n')) || latinName.endsWith(QLatin1Char('\r'))) {
                latinName.chop(1);
            }
        }
        if (entry.latinName != latinName) {
            fail("the Latin-letter name is not the third field", i);
        }
    }
    return 0;
}
