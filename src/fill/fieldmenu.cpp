#include "fill/fieldmenu.h"

#include <QCoreApplication>

namespace FieldMenu {

const QString clearMarker = QStringLiteral("__DELETE_HERE__");
const QString toHalfWidthMarker = QStringLiteral("__ZEN_2_HAN__");
const QString toFullWidthMarker = QStringLiteral("__HAN_2_ZEN__");

const QString elementField = QStringLiteral("element");
const QString keyField = QStringLiteral("key");
const QString valueField = QStringLiteral("value");

namespace {

QVariantMap record(const QString &element, const QString &key, const QString &value)
{
    return {{elementField, element}, {keyField, key}, {valueField, value}};
}

} // namespace

bool acceptsType(const QString &type)
{
    static const QStringList accepted{
        QStringLiteral("text"),  QStringLiteral("search"),   QStringLiteral("tel"),    QStringLiteral("url"),
        QStringLiteral("email"), QStringLiteral("password"), QStringLiteral("number"),
    };
    return accepted.contains(type, Qt::CaseSensitive);
}

QString resolveKey(const QString &baseKey, const QHash<QString, QVariant> &values, int inputLanguage)
{
    if (inputLanguage == English) {
        const QString latinKey = baseKey + QLatin1Char('E');
        if (values.contains(latinKey)) {
            return latinKey;
        }
    }
    return baseKey;
}

QVector<Entry> entries(const QString &element, const QVariantMap &actionTable,
                       const QHash<QString, QVariant> &values, int inputLanguage)
{
    QVector<Entry> menu;
    menu.reserve(actionTable.size() + 3);
    for (auto it = actionTable.constBegin(); it != actionTable.constEnd(); ++it) {
        const QVariantList keys = it.value().toList();
        if (keys.isEmpty()) {
            continue;
        }
        const QString key = resolveKey(keys.first().toString(), values, inputLanguage);
        const QString value = values.value(key).toString();
        // One pass, so a label holding "%2" cannot capture the value's place.
        menu.append({QStringLiteral("%1: %2").arg(it.key(), value), record(element, key, value)});
    }
    const auto command = [&](const char *text, const QString &marker) {
        menu.append({QCoreApplication::translate("MainWindow", text), record(element, marker, QString())});
    };
    command("消去", clearMarker);
    command("→半角", toHalfWidthMarker);
    command("→全角", toFullWidthMarker);
    return menu;
}

} // namespace FieldMenu
