#include "fill/recognizer_p.h"

// Address cuts: which parts of the stored address each box of a form's address takes.

namespace FieldRecognizer {
namespace Internal {

namespace {

// Address parts in the order an address is written.
enum Part
{
    PrefPart,
    CityPart,
    TownPart,
    StreetPart,
    BuildingPart,
    PartCount
};

} // namespace

// The parts a box holds, as [first, last]; {-1, -1} for none or undecided.
QPair<int, int> partsOf(Concept c)
{
    switch (c) {
    case Concept::Pref:
        return {PrefPart, PrefPart};
    case Concept::City:
        return {CityPart, CityPart};
    case Concept::Address1:
    case Concept::Address2:
        return {TownPart, TownPart};
    case Concept::Street:
        return {StreetPart, StreetPart};
    case Concept::Building:
    case Concept::Room:
        return {BuildingPart, BuildingPart};
    case Concept::CityStreet:
        return {CityPart, StreetPart};
    case Concept::CityTown:
        return {CityPart, TownPart};
    case Concept::TownStreet:
        return {TownPart, StreetPart};
    case Concept::StreetBuilding:
        return {StreetPart, BuildingPart};
    case Concept::CityAddress:
        return {CityPart, BuildingPart};
    default:
        return {-1, -1};
    }
}

namespace {

QString addressKey(int first, int last)
{
    static const QHash<int, QString> keys{
        {PrefPart * 8 + BuildingPart, QStringLiteral("fullAddress")},
        {PrefPart * 8 + StreetPart, QStringLiteral("streetAddress")},
        {PrefPart * 8 + PrefPart, QStringLiteral("pref")},
        {CityPart * 8 + BuildingPart, QStringLiteral("cityAddress")},
        {CityPart * 8 + StreetPart, QStringLiteral("cityStreet")},
        {CityPart * 8 + TownPart, QStringLiteral("cityTown")},
        {CityPart * 8 + CityPart, QStringLiteral("city")},
        {TownPart * 8 + StreetPart, QStringLiteral("townStreet")},
        {TownPart * 8 + BuildingPart, QStringLiteral("townAddress")},
        {StreetPart * 8 + BuildingPart, QStringLiteral("streetBuilding")},
        {StreetPart * 8 + StreetPart, QStringLiteral("street")},
        {BuildingPart * 8 + BuildingPart, QStringLiteral("building")},
    };
    return keys.value(first * 8 + last);
}

// Decides which parts the boxes of one form's address take: a 住所 box takes what no other box
// takes around it, a 市区町村 box followed by a 番地 box takes the town too, addr01/addr02 split
// the address after the prefecture between them.
void cutAddress(const QVector<int> &boxes, QVector<Reading> &readings, QVector<QString> &keys,
                QVector<QString> &notes)
{
    QVector<QPair<int, int>> ranges;
    bool claimed[PartCount] = {};
    for (int i : boxes) {
        QPair<int, int> range = partsOf(readings[i].concept);
        if (readings[i].concept == Concept::Address2) {
            range = {-2, -2}; // 小字 alone: as stored
        }
        if (readings[i].concept == Concept::CityAddress) {
            range = {-3, -3}; // from the city to what later boxes leave
        } else if (readings[i].concept == Concept::AddressAny && readings[i].part == 1) {
            range = {CityPart, TownPart};
        } else if (readings[i].concept == Concept::AddressAny && readings[i].part == 2) {
            range = {StreetPart, BuildingPart};
        }
        ranges.append(range);
        for (int p = range.first; p >= 0 && p <= range.second; ++p) {
            claimed[p] = true;
        }
    }
    // Parts claimed twice (addr01 after a city box) leave the numbered box the rest.
    for (int b = 0; b < boxes.size(); ++b) {
        const Reading &r = readings[boxes[b]];
        if (r.concept != Concept::AddressAny || r.part == 0) {
            continue;
        }
        for (int other = 0; other < boxes.size(); ++other) {
            if (other == b || readings[boxes[other]].concept == Concept::AddressAny) {
                continue;
            }
            const QPair<int, int> o = ranges[other];
            if (o.first <= ranges[b].first && o.second >= ranges[b].first && o.first >= 0) {
                ranges[b].first = o.second + 1;
            }
            if (o.first >= 0 && o.first <= ranges[b].second && o.second >= ranges[b].second) {
                ranges[b].second = o.first - 1;
            }
        }
    }
    for (int b = 0; b < boxes.size(); ++b) {
        const Reading &r = readings[boxes[b]];
        const bool fromCity = r.concept == Concept::CityAddress;
        if ((r.concept != Concept::AddressAny || r.part > 0) && !fromCity) {
            continue;
        }
        // From the first part no earlier box took to the last one no later box takes.
        int first = PrefPart;
        for (int other = 0; other < b; ++other) {
            if (ranges[other].second >= 0) {
                first = qMax(first, ranges[other].second + 1);
            }
        }
        int last = BuildingPart;
        for (int other = b + 1; other < boxes.size(); ++other) {
            if (ranges[other].first >= 0) {
                last = qMin(last, ranges[other].first - 1);
            }
        }
        if ((claimed[PrefPart] || fromCity) && first == PrefPart) {
            first = CityPart;
        }
        ranges[b] = {first, last};
    }
    // A city box with the street in the next box and no town box takes the town.
    if (!claimed[TownPart]) {
        for (int b = 0; b + 1 < boxes.size(); ++b) {
            if (ranges[b].second == CityPart && ranges[b + 1].first == StreetPart) {
                ranges[b].second = TownPart;
            }
        }
    }
    for (int b = 0; b < boxes.size(); ++b) {
        const int i = boxes[b];
        if (!keys[i].isEmpty() || !readings[i].refusal.isEmpty()) {
            continue;
        }
        if (ranges[b].first == -2) {
            keys[i] = QStringLiteral("address2");
            continue;
        }
        if (readings[i].concept == Concept::Address1 && ranges[b] == QPair<int, int>(TownPart, TownPart)) {
            // 町名・丁目 takes the 丁目 too, unless a box of its own does.
            const bool ownAddress2 =
                std::any_of(ranges.cbegin(), ranges.cend(),
                            [](const QPair<int, int> &range) { return range.first == -2; });
            keys[i] = ownAddress2 ? QStringLiteral("address1") : QStringLiteral("town");
            continue;
        }
        QString key = ranges[b].first < 0 ? QString() : addressKey(ranges[b].first, ranges[b].second);
        if (key == QLatin1String("townStreet")) {
            // 丁目・番地 after a box that took the town: the 丁目 and the street alone, the town once.
            for (int earlier = 0; earlier < b; ++earlier) {
                if (ranges[earlier].first >= 0 && ranges[earlier].first <= TownPart
                    && ranges[earlier].second == TownPart) {
                    key = QStringLiteral("address2Street");
                }
            }
        }
        if (key.isEmpty()) {
            readings[i].refusal = QStringLiteral("which part of the address is unclear");
        } else {
            keys[i] = key;
            if (readings[i].concept == Concept::AddressAny) {
                notes[i] = QStringLiteral(", address parts %1–%2").arg(ranges[b].first).arg(ranges[b].second);
            }
        }
    }
    // A 部屋番号 box beside a 建物名 box: the building's name goes in one, the room in the other. A room
    // box alone keeps the whole building, as before.
    const auto boxOf = [&](Concept concept) {
        for (int i : boxes) {
            if (readings[i].concept == concept && keys[i] == QLatin1String("building")) {
                return i;
            }
        }
        return -1;
    };
    const int building = boxOf(Concept::Building);
    const int room = boxOf(Concept::Room);
    if (building >= 0 && room >= 0) {
        keys[building] = QStringLiteral("buildingName");
        keys[room] = QStringLiteral("roomNumber");
        notes[building] = QStringLiteral(", without the room");
        notes[room] = QStringLiteral(", the room alone");
    }
}

} // namespace

// Addresses, one form at a time.
void cutAddresses(const QVector<Field> &fields, const QVector<int> &candidates, QVector<Reading> &readings,
                  QVector<QString> &keys, QVector<QString> &notes)
{
    QHash<QString, QVector<int>> addressBoxes;
    QStringList forms;
    for (int i : qAsConst(candidates)) {
        if (categoryOf(readings[i].concept) == Category::Address && readings[i].refusal.isEmpty()) {
            if (!addressBoxes.contains(fields[i].form)) {
                forms.append(fields[i].form);
            }
            addressBoxes[fields[i].form].append(i);
        }
    }
    for (const QString &form : qAsConst(forms)) {
        cutAddress(addressBoxes.value(form), readings, keys, notes);
    }
}

} // namespace Internal
} // namespace FieldRecognizer
