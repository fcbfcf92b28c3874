#include "page/pagecontrol.h"

#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

PageControl PageControl::fromVariant(const QVariant &record, qint64 handleBase)
{
    const QVariantMap map = record.toMap();
    PageControl control;
    const qint64 local = map.value(QStringLiteral("handle")).toLongLong();
    control.handle = local > 0 ? handleBase | local : 0;
    control.frame = map.value(QStringLiteral("frame")).toString();
    control.identifier = map.value(QStringLiteral("identifier")).toString();
    control.ownsIdentifier = map.value(QStringLiteral("owns")).toBool();
    control.ownsName = map.value(QStringLiteral("ownsName")).toBool();
    control.form = map.value(QStringLiteral("form")).toString();
    control.tag = map.value(QStringLiteral("tag")).toString();
    control.type = map.value(QStringLiteral("type")).toString();
    control.htmlType = map.value(QStringLiteral("htmlType")).toString();
    control.name = map.value(QStringLiteral("name")).toString();
    control.id = map.value(QStringLiteral("id")).toString();
    control.autocomplete = map.value(QStringLiteral("autocomplete")).toString();
    control.label = map.value(QStringLiteral("label")).toString();
    control.labelledBy = map.value(QStringLiteral("labelledBy")).toString();
    control.title = map.value(QStringLiteral("title")).toString();
    control.textBefore = map.value(QStringLiteral("textBefore")).toString();
    control.textAfter = map.value(QStringLiteral("textAfter")).toString();
    control.rowLabel = map.value(QStringLiteral("rowLabel")).toString();
    control.legend = map.value(QStringLiteral("legend")).toString();
    control.heading = map.value(QStringLiteral("heading")).toString();
    control.placeholder = map.value(QStringLiteral("placeholder")).toString();
    control.ariaLabel = map.value(QStringLiteral("ariaLabel")).toString();
    control.maxLength = map.value(QStringLiteral("maxLength"), -1).toInt();
    control.pattern = map.value(QStringLiteral("pattern")).toString();
    control.inputMode = map.value(QStringLiteral("inputMode")).toString();
    control.value = map.value(QStringLiteral("value")).toString();
    control.readOnly = map.value(QStringLiteral("readOnly")).toBool();
    control.disabled = map.value(QStringLiteral("disabled")).toBool();
    control.visible = map.value(QStringLiteral("visible"), true).toBool();
    control.options = optionsFromVariant(map.value(QStringLiteral("options")));
    control.selectedIndex = map.value(QStringLiteral("selectedIndex"), -1).toInt();
    control.checked = map.value(QStringLiteral("checked")).toBool();
    for (const QVariant &block : map.value(QStringLiteral("blocks")).toList()) {
        const QVariantList pair = block.toList();
        control.blockKeys.append(pair.value(0).toString());
        control.blockTitles.append(pair.value(1).toString());
    }
    control.column = map.value(QStringLiteral("column")).toString();
    control.rowGroup = map.value(QStringLiteral("rowGroup")).toString();
    control.headingOutside = map.value(QStringLiteral("headingOutside")).toBool();
    return control;
}

QVector<PageControl> PageControl::listFromVariant(const QVariant &records, qint64 handleBase)
{
    QVector<PageControl> controls;
    const QVariantList list = records.toList();
    controls.reserve(list.size());
    for (const QVariant &record : list) {
        controls.append(fromVariant(record, handleBase));
    }
    return controls;
}

QVector<PageControl::Option> PageControl::optionsFromVariant(const QVariant &options)
{
    QVector<Option> list;
    for (const QVariant &option : options.toList()) {
        const QVariantList pair = option.toList();
        list.append({pair.value(0).toString(), pair.value(1).toString()});
    }
    return list;
}

bool PageControl::typedType(const QString &type)
{
    static const QStringList typed{
        QStringLiteral("text"),  QStringLiteral("search"),   QStringLiteral("tel"),    QStringLiteral("url"),
        QStringLiteral("email"), QStringLiteral("password"), QStringLiteral("number"),
    };
    return typed.contains(type, Qt::CaseSensitive);
}
