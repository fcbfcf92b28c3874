#include "text/postalcodes.h"

#include "text/widthconversion.h"

#include <QFile>
#include <QRegularExpression>
#include <QTextCodec>

#include <algorithm>
#include <numeric>

namespace {

const int codeLength = 7;

// The kanji a municipality's name ends in, as EUC-JP spells them: 市 区 町 村.
const char *const placeEndings[] = {"\xbb\xd4", "\xb6\xe8", "\xc4\xae", "\xc2\xbc"};

bool endsPlace(const char *character)
{
    for (const char *ending : placeEndings) {
        if (character[0] == ending[0] && character[1] == ending[1]) {
            return true;
        }
    }
    return false;
}

// The bytes of the EUC-JP character that starts at data[0]: one for ASCII, three for JIS X 0212,
// two otherwise (JIS X 0208, half-width kana).
int characterLength(unsigned char lead)
{
    if (lead < 0x80) {
        return 1;
    }
    return lead == 0x8f ? 3 : 2;
}

QTextCodec *eucJp()
{
    static QTextCodec *const codec = QTextCodec::codecForName("EUC-JP");
    return codec;
}

QString decoded(const QByteArray &bytes)
{
    return eucJp() ? eucJp()->toUnicode(bytes) : QString();
}

// 北海道, 東京都, 京都府, 大阪府, and two or three kanji before 県 (神奈川県).
const QRegularExpression &prefecturePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(?:北海道|東京都|京都府|大阪府|.{2,3}?県)"));
    return pattern;
}

} // namespace

QString PostalCodes::debianPath()
{
    return QStringLiteral("/usr/share/skk/SKK-JISYO.zipcode");
}

bool PostalCodes::load(const QString &path)
{
    m_data.clear();
    m_codes.clear();
    m_offsets.clear();
    m_places.clear();
    QFile file(path);
    if (!eucJp() || !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    m_data = file.readAll();
    const char *data = m_data.constData();
    const int size = m_data.size();
    m_codes.reserve(size / 32);
    m_offsets.reserve(size / 32);
    bool sorted = true;
    for (int start = 0; start < size;) {
        int end = m_data.indexOf('\n', start);
        if (end < 0) {
            end = size;
        }
        // "5300001 /…/": seven digits, a space and a slash; comments and anything else are skipped.
        if (end - start > codeLength + 2 && data[start + codeLength] == ' '
            && data[start + codeLength + 1] == '/') {
            quint32 code = 0;
            bool digits = true;
            for (int i = start; i < start + codeLength && digits; ++i) {
                digits = data[i] >= '0' && data[i] <= '9';
                code = code * 10 + quint32(data[i] - '0');
            }
            if (digits) {
                sorted = sorted && (m_codes.isEmpty() || m_codes.last() < code);
                m_codes.append(code);
                m_offsets.append(start + codeLength + 2);
                // Each candidate ends at a slash; those ending in 市区町村 may be municipalities.
                int candidate = start + codeLength + 2;
                for (int i = candidate; i < end; ++i) {
                    if (data[i] != '/') {
                        continue;
                    }
                    if (i - candidate >= 2 && endsPlace(data + i - 2)) {
                        m_places.insert(QByteArray::fromRawData(data + candidate, i - candidate));
                    }
                    candidate = i + 1;
                }
            }
        }
        start = end + 1;
    }
    if (!sorted) {
        QVector<int> order(m_codes.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(),
                         [this](int a, int b) { return m_codes[a] < m_codes[b]; });
        QVector<quint32> codes;
        QVector<int> offsets;
        for (const int i : order) {
            codes.append(m_codes[i]);
            offsets.append(m_offsets[i]);
        }
        m_codes = codes;
        m_offsets = offsets;
    }
    return !m_codes.isEmpty();
}

QVector<PostalCodes::Address> PostalCodes::lookup(const QString &code) const
{
    QString digits = WidthConversion::toHalfWidth(code.trimmed());
    digits.remove(QLatin1Char('-'));
    if (digits.size() != codeLength) {
        return {};
    }
    quint32 number = 0;
    for (const QChar c : qAsConst(digits)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return {};
        }
        number = number * 10 + quint32(c.unicode() - '0');
    }
    const auto found = std::lower_bound(m_codes.cbegin(), m_codes.cend(), number);
    if (found == m_codes.cend() || *found != number) {
        return {};
    }
    const int start = m_offsets[int(found - m_codes.cbegin())];
    int end = m_data.indexOf('\n', start);
    if (end < 0) {
        end = m_data.size();
    }
    QVector<Address> addresses;
    for (const QByteArray &candidate : m_data.mid(start, end - start).split('/')) {
        if (!candidate.trimmed().isEmpty()) {
            const Address address = split(candidate);
            if (!addresses.contains(address)) {
                addresses.append(address);
            }
        }
    }
    return addresses;
}

PostalCodes::Address PostalCodes::split(const QByteArray &raw) const
{
    Address address;
    const QRegularExpressionMatch prefecture = prefecturePattern().match(decoded(raw));
    if (!prefecture.hasMatch()) {
        return address;
    }
    address.prefecture = prefecture.captured();
    // Past the prefecture, character by character, to the first end of a municipality.
    int position = 0;
    for (int characters = 0; characters < address.prefecture.size() && position < raw.size(); ++characters) {
        position += characterLength(uchar(raw[position]));
    }
    const int prefectureEnd = position;
    while (position < raw.size()) {
        const int length = characterLength(uchar(raw[position]));
        position += length;
        if (length == 2 && position <= raw.size() && endsPlace(raw.constData() + position - 2)
            && m_places.contains(QByteArray::fromRawData(raw.constData(), position))) {
            address.city = decoded(raw.mid(prefectureEnd, position - prefectureEnd));
            address.town = decoded(raw.mid(position));
            break;
        }
    }
    // A few lines carry pieces of a building's floor list ("高層棟）（１階"): no town rather than that.
    static const QRegularExpression brackets(QStringLiteral("[()（）「」]"));
    if (address.town.contains(brackets)) {
        address.town.clear();
    }
    return address;
}

const PostalCodes &PostalCodes::installed()
{
    static const PostalCodes dictionary = [] {
        PostalCodes codes;
        codes.load(debianPath());
        return codes;
    }();
    return dictionary;
}
