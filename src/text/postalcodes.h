#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QVector>

// The postal-code dictionary: SKK-JISYO.zipcode as Debian's skkdic-extra ships it, one line per
// 7-digit code with the addresses it stands for ("5300001 /大阪府大阪市北区梅田/"), EUC-JP. The
// file says nothing of where the prefecture, the municipality and the town meet; the file itself
// does: every municipality has a line of its own (the code for the rest of it), and no
// municipality's name begins with another's. So the municipality of an address is the shortest
// part after the prefecture that is itself an address of the file.
class PostalCodes
{
public:
    struct Address
    {
        QString prefecture; // 大阪府
        QString city; // 大阪市北区, 石狩郡当別町
        QString town; // 梅田; empty for the code of a whole municipality, or when the file garbles it

        bool operator==(const Address &other) const
        {
            return prefecture == other.prefecture && city == other.city && town == other.town;
        }
    };

    // Where Debian installs the file.
    static QString debianPath();

    // Reads the file; false, and an empty dictionary, when it cannot be read or holds no code.
    bool load(const QString &path);
    bool isEmpty() const { return m_codes.isEmpty(); }
    int size() const { return m_codes.size(); }

    // The addresses of a code given as 7 digits, with or without a hyphen, ASCII or full width;
    // more than one when the code covers several towns or municipalities. Empty for an unknown code.
    QVector<Address> lookup(const QString &code) const;

    // The dictionary at debianPath(), read once on first use; empty when the file is absent.
    static const PostalCodes &installed();

private:
    Address split(const QByteArray &address) const;

    QByteArray m_data;
    // Sorted by code; the line's candidates start at the offset, after " /".
    QVector<quint32> m_codes;
    QVector<int> m_offsets;
    // The addresses that end in 市, 区, 町 or 村, as the file spells them: municipalities among them.
    QSet<QByteArray> m_places;
};
