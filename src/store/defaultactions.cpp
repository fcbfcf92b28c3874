#include "store/defaultactions.h"

#include <QJsonArray>
#include <QJsonValue>
#include <QString>

namespace DefaultActions {

QJsonObject table()
{
    // The demo profile's entries: the personal values the dialog edits, their Latin-letter forms, and
    // the derived values split and spelled forms ask for.
    static const struct
    {
        const char *label; // UTF-8
        const char *key;
    } entries[] = {
        {"せい", "familyNameK.hiragana"},
        {"めい", "lastNameK.hiragana"},
        {"セイ", "familyNameK"},
        {"パスワード", "password"},
        {"メイ", "lastNameK"},
        {"メールアドレス", "mail"},
        {"ユーザーID", "userID"},
        {"名", "lastName"},
        {"名（ローマ字）", "lastNameE"},
        {"大字", "address1"},
        {"大字（英語）", "address1E"},
        {"姓", "familyName"},
        {"姓（ローマ字）", "familyNameE"},
        {"小字", "address2"},
        {"小字（英語）", "address2E"},
        {"市区町村", "city"},
        {"市区町村（英語）", "cityE"},
        {"建物名", "building"},
        {"建物名（英語）", "buildingE"},
        {"氏名", "fullName"},
        {"生まれ年", "year"},
        {"生まれ日", "day"},
        {"生まれ月", "month"},
        {"番地", "street"},
        {"郵便番号", "zipcode"},
        {"郵便番号（3桁）", "zipcode.part1"},
        {"郵便番号（4桁）", "zipcode.part2"},
        {"都道府県", "pref"},
        {"都道府県（英語）", "prefE"},
        {"電話番号", "telephone"},
        {"電話番号（1）", "telephone.part1"},
        {"電話番号（2）", "telephone.part2"},
        {"電話番号（3）", "telephone.part3"},
    };
    QJsonObject actions;
    for (const auto &entry : entries) {
        actions.insert(QString::fromUtf8(entry.label), QJsonArray{QString::fromLatin1(entry.key)});
    }
    return actions;
}

QJsonObject actionsOf(const QJsonObject &root)
{
    const auto member = root.constFind(QStringLiteral("actions"));
    return member == root.constEnd() ? table() : member.value().toObject();
}

} // namespace DefaultActions
