// libFuzzer target for the profile document: any bytes as profile.json are loaded, saved and loaded
// again, in memory, and now and then through the real file in a scratch directory.
//
// What loading and saving guarantee, and what is checked here:
// - a saved document always reads back as a JSON object, with the same keys in the value table and
//   with every other top-level member unchanged (numbers as the doubles they stand for: the JSON
//   library rounds whole numbers beyond 2^53 when it writes them);
// - when no object sits inside an array of "profile", the second load holds exactly the values of
//   the first, the second save writes the same document as the first, and the third the same bytes
//   as the second (the first two may differ in member order: the parser sorts member names that
//   hold a raw NUL byte wrongly, and a saved document has the NUL escaped);
// - otherwise values may move between rounds: objects inside arrays are kept in the array and also
//   flattened into the table, where they overwrite the members whose names sort before the array's.
//   Each key's value depends only on the values of keys that sort after it, so from the greatest key
//   downwards one more key settles with each round: after as many rounds as the table has keys,
//   saving is a fixed point, byte for byte.
// The parser compares member names only up to a raw NUL byte, so it may keep several members of one
// name; a document with NUL bytes is checked from its first save on, when they have been escaped.

#include "store/documentwriter.h"
#include "store/profilestore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using Values = QHash<QString, QVariant>;

const QString profileMember = QStringLiteral("profile");

// One load and save in memory, as the browser does it.
struct Round
{
    QJsonObject root;
    Values values;
    QByteArray saved;
};

Round loadAndSave(const QByteArray &bytes, bool *wellFormed = nullptr)
{
    Round round;
    ProfileStore store(round.values);
    round.root = ProfileStore::parseDocument(bytes, wellFormed);
    store.readProfileObject(round.root.value(profileMember).toObject());
    QJsonObject saving = round.root;
    round.saved = store.serializeDocument(saving);
    return round;
}

[[noreturn]] void fail(const char *what, const QByteArray &detail = QByteArray())
{
    std::fprintf(stderr, "profile document: %s\n%s\n", what, detail.constData());
    std::abort();
}

bool same(const QVariant &a, const QVariant &b);
bool same(const QJsonValue &a, const QJsonValue &b);

// The writer keeps page texts between saves; whatever the document, and after a choice on a page,
// its bytes are the JSON library's own.
void checkWriterAgainstLibrary(const QJsonObject &root)
{
    DocumentWriter writer;
    auto check = [&writer](const QJsonObject &document, const char *what) {
        const QByteArray expected = QJsonDocument(document).toJson(QJsonDocument::Indented);
        if (writer.write(document) != expected) {
            fail(what, expected);
        }
    };
    check(root, "the writer's first text differs from the library's");
    check(root, "the writer's text from kept pages differs from the library's");
    QJsonObject chosen = root;
    QJsonObject sites = root.value(QStringLiteral("sites")).toObject();
    const QString address =
        sites.isEmpty() ? QStringLiteral("https://fuzz.example/") : sites.constBegin().key();
    QJsonObject rules = sites.value(address).toObject();
    rules.insert(QStringLiteral("fuzz"), QStringLiteral("mail"));
    sites.insert(address, rules);
    chosen.insert(QStringLiteral("sites"), sites);
    check(chosen, "the writer's text after a choice differs from the library's");
}

// Element by element, with the exact comparison below.
template <typename List> bool sameElements(const List &x, const List &y)
{
    if (x.size() != y.size()) {
        return false;
    }
    for (int i = 0; i < x.size(); ++i) {
        if (!same(x.at(i), y.at(i))) {
            return false;
        }
    }
    return true;
}

// Exact equality: same type, same text code unit for code unit, same number including the sign of
// zero. QVariant's own comparison converts between types and would hide a change.
bool same(const QVariant &a, const QVariant &b)
{
    if (a.userType() != b.userType()) {
        return false;
    }
    switch (a.userType()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        // Null read into the table, and null inside an object that is kept in an array.
        return true;
    case QMetaType::Bool:
        return a.toBool() == b.toBool();
    case QMetaType::LongLong:
        // Whole numbers inside objects that are kept in arrays.
        return a.toLongLong() == b.toLongLong();
    case QMetaType::Double: {
        const double x = a.toDouble();
        const double y = b.toDouble();
        return x == y && std::signbit(x) == std::signbit(y);
    }
    case QMetaType::QString:
        return a.toString() == b.toString();
    case QMetaType::QVariantList:
        return sameElements(a.toList(), b.toList());
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap();
        const QVariantMap y = b.toMap();
        if (x.keys() != y.keys()) {
            return false;
        }
        for (auto it = x.constBegin(); it != x.constEnd(); ++it) {
            if (!same(it.value(), y.value(it.key()))) {
                return false;
            }
        }
        return true;
    }
    default:
        return false;
    }
}

// The same for JSON values. Numbers are compared as the doubles they stand for: the JSON library
// keeps whole numbers apart internally and its own comparison tells 2 from 2.0.
bool same(const QJsonValue &a, const QJsonValue &b)
{
    if (a.type() != b.type()) {
        return false;
    }
    switch (a.type()) {
    case QJsonValue::Double:
        return same(QVariant(a.toDouble()), QVariant(b.toDouble()));
    case QJsonValue::Array:
        return sameElements(a.toArray(), b.toArray());
    case QJsonValue::Object: {
        // Member by member, whatever their order: the parser sorts names that hold a raw NUL byte
        // as if they ended there, and a saved document escapes the NUL and sorts them right.
        const QVariantMap x = a.toObject().toVariantMap();
        const QJsonObject y = b.toObject();
        if (x.size() != y.size()) {
            return false;
        }
        for (auto it = y.constBegin(); it != y.constEnd(); ++it) {
            if (!x.contains(it.key()) || !same(QJsonValue::fromVariant(x.value(it.key())), it.value())) {
                return false;
            }
        }
        return true;
    }
    default:
        return a == b;
    }
}

QByteArray describe(const Values &values)
{
    QJsonObject object;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

void requireSame(const Values &first, const Values &second, const char *what)
{
    bool equal = first.size() == second.size();
    for (auto it = first.constBegin(); equal && it != first.constEnd(); ++it) {
        equal = second.contains(it.key()) && same(it.value(), second.value(it.key()));
    }
    if (!equal) {
        fail(what, describe(first) + "\n" + describe(second));
    }
}

bool objectInsideArray(const QJsonValue &value, bool insideArray)
{
    if (value.isObject()) {
        if (insideArray) {
            return true;
        }
        const QJsonObject object = value.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            if (objectInsideArray(it.value(), false)) {
                return true;
            }
        }
    } else if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (const QJsonValue &element : array) {
            if (objectInsideArray(element, true)) {
                return true;
            }
        }
    }
    return false;
}

QJsonObject withoutProfile(QJsonObject root)
{
    root.remove(profileMember);
    return root;
}

std::unique_ptr<QTemporaryDir> scratch;

// Load, save and load again through profile.json in the scratch directory.
void checkFileRoundTrip(const QByteArray &bytes, const Round &first, const Round &second)
{
    // libFuzzer resolves its relative paths in the directory it was started in.
    const QString started = QDir::currentPath();
    QDir::setCurrent(scratch->path());
    const QString path = ProfileStore::profilePath();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            fail("cannot write the scratch profile.json");
        }
    }
    Values values;
    ProfileStore store(values);
    std::optional<QJsonObject> root = store.load();
    if (!root) {
        fail("the scratch profile.json cannot be read");
    }
    requireSame(first.values, values, "loading the file differs from loading its bytes");
    if (!store.save(*root)) {
        fail("saving to the scratch directory failed");
    }
    QFile saved(path);
    if (!saved.open(QIODevice::ReadOnly) || saved.readAll() != first.saved) {
        fail("the saved file differs from the saved bytes", first.saved);
    }
    Values reloaded;
    ProfileStore(reloaded).load();
    requireSame(second.values, reloaded, "reloading the saved file differs from reloading its bytes");

    // Unreadable inputs are kept aside before the first save; start the next run empty.
    QDir dir(QDir::currentPath());
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden)) {
        dir.remove(name);
    }
    QDir::setCurrent(started);
}

void silence(QtMsgType, const QMessageLogContext &, const QString &) { }

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // Loading logs every null member; thousands of lines a second would only slow the search.
    qInstallMessageHandler(silence);
    // In TMPDIR when set: scripts/fuzz points it into the build directory.
    scratch = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/fuzz_profile-XXXXXX"));
    if (!scratch->isValid()) {
        fail("no scratch directory");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    if (bytes.contains('\0')) {
        bytes = loadAndSave(bytes).saved;
    }
    const Round first = loadAndSave(bytes);
    checkWriterAgainstLibrary(first.root);

    bool wellFormed = false;
    Round second = loadAndSave(first.saved, &wellFormed);
    if (!wellFormed) {
        fail("a saved document does not read back as an object", first.saved);
    }
    if (!same(QJsonValue(withoutProfile(second.root)), QJsonValue(withoutProfile(first.root)))) {
        fail("a member outside \"profile\" changed in a save", first.saved);
    }
    if (QSet<QString>(first.values.keyBegin(), first.values.keyEnd())
        != QSet<QString>(second.values.keyBegin(), second.values.keyEnd())) {
        fail("the keys of the value table changed in a save", first.saved);
    }

    const QJsonValue profile = first.root.value(profileMember);
    if (!objectInsideArray(profile.isObject() ? profile : QJsonObject(), false)) {
        requireSame(first.values, second.values, "values changed in a save without objects in arrays");
        if (!same(QJsonValue(ProfileStore::parseDocument(second.saved)), QJsonValue(second.root))) {
            fail("a second save changed the document without objects in arrays", first.saved + second.saved);
        }
        if (loadAndSave(second.saved).saved != second.saved) {
            fail("a third save changed the bytes without objects in arrays", second.saved);
        }
    } else {
        Round previous = second;
        for (int rounds = 2;; ++rounds) {
            Round next = loadAndSave(previous.saved);
            if (next.saved == previous.saved) {
                break;
            }
            if (rounds > first.values.size() + 1) {
                fail("saving reaches no fixed point", next.saved);
            }
            previous = next;
        }
    }

    // The real file path costs a sync per save: one input in 32, chosen by its bytes.
    if (qHash(bytes) % 32 == 0) {
        checkFileRoundTrip(bytes, first, second);
    }
    return 0;
}
