#include "fill/fieldmenu.h"
#include "fill/fieldrecognizer.h"
#include "fill/selectmatcher.h"

#include <QTest>

using FieldRecognizer::Field;

namespace {

// Option lists that selects in the rows below stand on.
QVector<SelectMatcher::Option> optionList(const QString &name)
{
    QVector<SelectMatcher::Option> options{{QStringLiteral("選択してください"), QString()}};
    const auto numbers = [&](int from, int to) {
        for (int n = from; n <= to; ++n) {
            options.append({QString::number(n), QString::number(n)});
        }
    };
    if (name == QStringLiteral("prefs")) {
        for (int code = 1; code <= 47; ++code) {
            options.append({SelectMatcher::prefectureName(code), QString::number(code)});
        }
    } else if (name == QStringLiteral("years")) {
        numbers(1920, 2010);
    } else if (name == QStringLiteral("months")) {
        numbers(1, 12);
    } else if (name == QStringLiteral("days")) {
        numbers(1, 31);
    } else if (name == QStringLiteral("erayears")) {
        numbers(1, 64);
    } else if (name == QStringLiteral("eras")) {
        for (const char *era : {"明治", "大正", "昭和", "平成", "令和"}) {
            options.append({QString::fromUtf8(era), QString::fromUtf8(era)});
        }
    } else {
        options.append({QStringLiteral("製品について"), QStringLiteral("1")});
    }
    return options;
}

// "name=zip01;maxlength=3;row=郵便番号" → one field; "select;options=prefs" for a select.
Field field(const QString &description)
{
    Field f;
    f.tag = QStringLiteral("INPUT");
    for (const QString &part : description.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const int equals = part.indexOf(QLatin1Char('='));
        const QString name = part.left(equals).trimmed();
        const QString value = equals < 0 ? QString() : part.mid(equals + 1);
        if (name == QStringLiteral("select")) {
            f.tag = QStringLiteral("SELECT");
            f.selectedIndex = 0;
        } else if (name == QStringLiteral("options")) {
            f.options = optionList(value);
        } else if (name == QStringLiteral("selected")) {
            f.selectedIndex = value.toInt();
        } else if (name == QStringLiteral("type") && value == QStringLiteral("textarea")) {
            f.tag = QStringLiteral("TEXTAREA");
        } else if (name == QStringLiteral("type")) {
            f.type = value;
        } else if (name == QStringLiteral("name")) {
            f.name = value;
        } else if (name == QStringLiteral("id")) {
            f.id = value;
        } else if (name == QStringLiteral("ac")) {
            f.autocomplete = value;
        } else if (name == QStringLiteral("label")) {
            f.label = value;
        } else if (name == QStringLiteral("text")) {
            f.textBefore = value;
        } else if (name == QStringLiteral("row")) {
            f.rowLabel = value;
        } else if (name == QStringLiteral("placeholder")) {
            f.placeholder = value;
        } else if (name == QStringLiteral("aria")) {
            f.ariaLabel = value;
        } else if (name == QStringLiteral("labelledby")) {
            f.labelledBy = value;
        } else if (name == QStringLiteral("title")) {
            f.title = value;
        } else if (name == QStringLiteral("after")) {
            f.textAfter = value;
        } else if (name == QStringLiteral("legend")) {
            f.legend = value;
        } else if (name == QStringLiteral("heading")) {
            f.heading = value;
        } else if (name == QStringLiteral("block")) { // "key:title", outermost first when repeated
            f.blockKeys.append(value.section(QLatin1Char(':'), 0, 0));
            f.blockTitles.append(value.section(QLatin1Char(':'), 1));
        } else if (name == QStringLiteral("column")) {
            f.column = value;
        } else if (name == QStringLiteral("rowgroup")) {
            f.rowGroup = value;
        } else if (name == QStringLiteral("form")) {
            f.form = value;
        } else if (name == QStringLiteral("maxlength")) {
            f.maxLength = value.toInt();
        } else if (name == QStringLiteral("inputmode")) {
            f.inputMode = value;
        } else if (name == QStringLiteral("pattern")) {
            f.pattern = value;
        } else if (name == QStringLiteral("value")) {
            f.value = value;
        } else if (name == QStringLiteral("readonly")) {
            f.readOnly = true;
        } else if (name == QStringLiteral("disabled")) {
            f.disabled = true;
        } else {
            qFatal("unknown field attribute %s", qPrintable(name));
        }
    }
    return f;
}

} // namespace

class TestFieldRecognizer : public QObject
{
    Q_OBJECT

private slots:
    void recognize_data();
    void recognize();
    void otherPeoplesSections_data();
    void otherPeoplesSections();
    void formRules_data();
    void formRules();
    void evidenceNamesTheDecidingClue();
    void hostileDescriptions();
    void selectMatch_data();
    void selectMatch();
    void prefectureCodes();
};

void TestFieldRecognizer::recognize_data()
{
    QTest::addColumn<QString>("fields"); // field descriptions separated by " | ", in document order
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("keys"); // expected keys separated by "|"; empty: left alone

    const int ja = FieldMenu::Japanese;
    const int en = FieldMenu::English;
    // autocomplete
    QTest::newRow("ac family-name") << "ac=family-name" << ja << "familyName";
    QTest::newRow("ac section shipping given") << "ac=section-x shipping given-name" << ja << "lastName";
    QTest::newRow("ac name english") << "ac=name" << en << "fullNameE";
    QTest::newRow("ac tel-national") << "ac=home tel-national;type=tel" << ja << "telephone";
    QTest::newRow("ac fax tel") << "ac=fax tel;type=tel" << ja << "";
    QTest::newRow("ac tel parts") << "ac=tel-area-code | ac=tel-local-prefix | ac=tel-local-suffix" << ja
                                  << "telephone.part1|telephone.part2|telephone.part3";
    QTest::newRow("ac organization") << "ac=organization;label=お名前" << ja << "";
    QTest::newRow("ac off, label decides") << "ac=off;label=市区町村" << ja << "city";
    QTest::newRow("ac family-name, kana label")
        << "ac=family-name;label=フリガナ（セイ）" << ja << "familyNameK";
    // shop and contact-form naming
    QTest::newRow("name01 name02") << "name=name01 | name=name02" << ja << "familyName|lastName";
    QTest::newRow("kana01 kana02") << "name=kana01 | name=kana02" << ja << "familyNameK|lastNameK";
    QTest::newRow("sei mei english") << "name=sei | name=mei" << en << "familyNameE|lastNameE";
    QTest::newRow("camel case kana") << "name=firstNameKana" << ja << "lastNameK";
    QTest::newRow("zip01 zip02") << "name=zip01;maxlength=3 | name=zip02;maxlength=4" << ja
                                 << "zipcode.part1|zipcode.part2";
    QTest::newRow("zip boxes too short")
        << "name=zip01;maxlength=2 | name=zip02;maxlength=4" << ja << "|zipcode.part2";
    QTest::newRow("lone zip02") << "name=zip02" << ja << "";
    QTest::newRow("tel01-03") << "name=tel01 | name=tel02 | name=tel03" << ja
                              << "telephone.part1|telephone.part2|telephone.part3";
    QTest::newRow("two phone boxes") << "name=tel1 | name=tel2" << ja << "|";
    QTest::newRow("email02 confirmation") << "name=email | name=email02" << ja << "mail|mail";
    QTest::newRow("pref addr01 addr02")
        << "name=pref | name=addr01 | name=addr02" << ja << "pref|cityTown|streetBuilding";
    QTest::newRow("addr01 labelled city") << "name=addr01;placeholder=市区町村名" << ja << "city";
    QTest::newRow("english address") << "name=city | name=building" << en << "cityE|buildingE";
    QTest::newRow("fax boxes") << "name=fax01 | name=fax02 | name=fax03" << ja << "||";
    QTest::newRow("company_name") << "name=company_name" << ja << "";
    QTest::newRow("shop_name is no person") << "name=shop_name" << ja << "";
    QTest::newRow("first_visit is no name") << "name=first_visit" << ja << "";
    QTest::newRow("customer[name01]")
        << "name=customer[name01] | name=customer[name02]" << ja << "familyName|lastName";
    QTest::newRow("emergency_tel") << "name=emergency_tel" << ja << "";
    QTest::newRow("search box named name") << "type=search;name=name" << ja << "";
    // labels
    QTest::newRow("label 姓 名 in a row")
        << "text=姓;row=氏名 | text=名;row=氏名" << ja << "familyName|lastName";
    QTest::newRow("row 氏名 over two boxes") << "row=氏名 | row=氏名" << ja << "familyName|lastName";
    QTest::newRow("row フリガナ over two boxes")
        << "row=フリガナ | row=フリガナ" << ja << "familyNameK|lastNameK";
    QTest::newRow("label お名前 alone") << "label=お名前" << ja << "fullName";
    QTest::newRow("label ふりがな") << "label=ふりがな" << ja << "fullNameK.hiragana";
    QTest::newRow("label half-width kana word") << "label=ﾌﾘｶﾞﾅ" << ja << "fullNameK.halfwidthKana";
    QTest::newRow("label 半角カナ") << "label=お名前（半角カナ）" << ja << "fullNameK.halfwidthKana";
    QTest::newRow("label せい") << "label=せい" << ja << "familyNameK.hiragana";
    QTest::newRow("label ローマ字 row")
        << "text=Last;row=ローマ字 | text=First;row=ローマ字" << ja << "familyNameE|lastNameE";
    QTest::newRow("label 建物名 is no name") << "label=建物名" << ja << "building";
    QTest::newRow("label 〒") << "text=〒;maxlength=8" << ja << "zipcode";
    QTest::newRow("label 市区町村・番地 in one box") << "label=市区町村・番地" << ja << "cityStreet";
    QTest::newRow("label 住所 alone") << "label=ご住所" << ja << "fullAddress";
    QTest::newRow("label 携帯電話") << "label=携帯電話番号" << ja << "telephone";
    QTest::newRow("label 確認用 mail") << "label=メールアドレス（確認用）" << ja << "mail";
    QTest::newRow("label ユーザーID full width") << "label=ユーザーＩＤ" << ja << "userID";
    QTest::newRow("label 紹介者 beats placeholder") << "row=ご紹介者;placeholder=お名前（任意）" << ja << "";
    QTest::newRow("label FAX") << "label=FAX番号" << ja << "";
    QTest::newRow("label 希望日") << "label=配達希望日" << ja << "";
    QTest::newRow("english words are whole words")
        << "label=Hotel | label=Ethnicity | label=Filename" << ja << "||";
    // English labels on a page with a Japanese heading: Japanese values; without any Japanese the page
    // is English and gets the Latin-letter ones.
    QTest::newRow("english labels")
        << "label=E-mail;heading=お問い合わせ | label=Mobile phone | label=ZIP/Postal code | label=City | "
           "label=Address line 2 | label=Date of birth;type=text;placeholder=1985-04-12 | label=User name"
        << ja << "mail|telephone|zipcode|city|building|birthDate|userID";
    QTest::newRow("english labels alone")
        << "label=E-mail | label=ZIP/Postal code | label=City | label=Address line 2" << ja
        << "mail|zipcode|cityE|buildingE";
    QTest::newRow("english first last")
        << "label=First name | label=Last name" << ja << "lastName|familyName";
    QTest::newRow("english mode first last")
        << "label=First name | label=Last name" << en << "lastNameE|familyNameE";
    QTest::newRow("english mode keeps kana") << "label=フリガナ" << en << "fullNameK";
    QTest::newRow("year alone is weak") << "text=年" << ja << "";
    QTest::newRow("birth inputs with units after")
        << "row=生年月日;maxlength=4 | row=生年月日;text=年;maxlength=2 | row=生年月日;text=月;maxlength=2"
        << ja << "year|month|day";
    QTest::newRow("birth date one box, digits")
        << "label=生年月日;placeholder=19850412" << ja << "birthDate.digits";
    QTest::newRow("birth date one box") << "label=生年月日;placeholder=1985-04-12" << ja << "birthDate";
    // constraints
    QTest::newRow("hiragana pattern beats フリガナ label")
        << "label=フリガナ;pattern=[ぁ-んー]+" << ja << "fullNameK.hiragana";
    QTest::newRow("half-width pattern") << "name=kana;pattern=[ｦ-ﾟ ]+" << ja << "fullNameK.halfwidthKana";
    QTest::newRow("katakana pattern allows label's wish")
        << "label=ふりがな;pattern=[ぁ-んァ-ヶー]+" << ja << "fullNameK.hiragana.noSpaces";
    QTest::newRow("latin pattern on a name") << "name=sei;pattern=[A-Za-z]+" << ja << "familyNameE";
    QTest::newRow("zip maxlength 7") << "label=郵便番号;maxlength=7" << ja << "zipcode.digits";
    QTest::newRow("zip maxlength 8") << "label=郵便番号;maxlength=8" << ja << "zipcode";
    QTest::newRow("zip maxlength 5") << "label=郵便番号;maxlength=5" << ja << "";
    QTest::newRow("zip number type") << "label=郵便番号;type=number" << ja << "zipcode.digits";
    QTest::newRow("zip placeholder digits") << "label=郵便番号;placeholder=1000001" << ja << "zipcode.digits";
    QTest::newRow("zip placeholder hyphen") << "label=郵便番号;placeholder=123-4567" << ja << "zipcode";
    QTest::newRow("zip pattern 7 digits") << "name=zip;pattern=[0-9]{7}" << ja << "zipcode.digits";
    QTest::newRow("zip pattern optional hyphen") << "name=zip;pattern=\\d{3}-?\\d{4}" << ja << "zipcode";
    QTest::newRow("tel pattern digits")
        << "label=電話番号;type=tel;pattern=\\d{10,11}" << ja << "telephone.digits";
    QTest::newRow("tel maxlength 11") << "name=tel;maxlength=11" << ja << "telephone.digits";
    QTest::newRow("tel maxlength 13") << "name=tel;maxlength=13" << ja << "telephone";
    QTest::newRow("tel maxlength 4 alone") << "name=tel;maxlength=4" << ja << "";
    QTest::newRow("zip inputmode numeric") << "label=郵便番号;inputmode=numeric" << ja << "zipcode";
    QTest::newRow("inputmode email alone") << "inputmode=email" << ja << "mail";
    QTest::newRow("inputmode numeric for a name") << "label=氏名;inputmode=numeric" << ja << "";
    QTest::newRow("type email alone") << "type=email" << ja << "mail";
    QTest::newRow("email type under a phone label") << "type=email;label=電話番号" << ja << "";
    QTest::newRow("number type for a name") << "type=number;name=sei" << ja << "";
    QTest::newRow("hyphen continues a postal box")
        << "label=郵便番号;maxlength=3 | text=-;maxlength=4" << ja << "zipcode.part1|zipcode.part2";
    // never filled
    QTest::newRow("password") << "type=password;name=password" << ja << "";
    // The whole-form fill leaves passwords to the user, whatever the form around them asks.
    QTest::newRow("password of a login")
        << "label=ユーザーID;name=login_id | type=password;label=パスワード;name=login_pw" << ja << "userID|";
    QTest::newRow("current password")
        << "type=password;ac=current-password;label=現在のパスワード | type=password;ac=new-password" << ja
        << "|";
    QTest::newRow("password of a sign-up")
        << "type=email;label=メールアドレス | type=password;name=password | type=password;name=password02"
        << ja << "mail||";
    QTest::newRow("password asked in a text box") << "label=パスワード;name=pass" << ja << "";
    QTest::newRow("password by autocomplete in a text box") << "ac=current-password" << ja << "";
    QTest::newRow("english password box") << "type=password;label=Password;name=user[password]" << en << "";
    QTest::newRow("checkbox") << "type=checkbox;name=email" << ja << "";
    QTest::newRow("hidden") << "type=hidden;name=email" << ja << "";
    QTest::newRow("file") << "type=file;name=email" << ja << "";
    QTest::newRow("radio") << "type=radio;name=sei" << ja << "";
    QTest::newRow("no type is text") << "name=email" << ja << "mail";
    QTest::newRow("upper-case type") << "type=TEXT;name=email" << ja << "mail";
    QTest::newRow("read-only") << "name=email;readonly" << ja << "";
    QTest::newRow("disabled") << "name=email;disabled" << ja << "";
    QTest::newRow("already filled") << "name=email;value=a@b.jp" << ja << "";
    QTest::newRow("no evidence") << "name=fld_93a1;id=f_8c1a2e" << ja << "";
    QTest::newRow("contradiction") << "name=zip;label=電話番号" << ja << "";
    // selects
    QTest::newRow("pref select by options") << "select;options=prefs;row=お届け先" << ja << "pref";
    QTest::newRow("pref select english") << "select;name=pref;options=prefs" << en << "prefE";
    QTest::newRow("pref select already chosen") << "select;name=pref;options=prefs;selected=13" << ja << "";
    QTest::newRow("birth selects by options")
        << "select;options=years;row=生年月日 | select;options=months;row=生年月日 | "
           "select;options=days;row=生年月日"
        << ja << "year|month|day";
    QTest::newRow("era and era year")
        << "select;options=eras;row=生年月日 | select;options=erayears;row=生年月日 | "
           "select;options=months;row=生年月日 "
           "| select;options=days;row=生年月日"
        << ja << "birthEra|birthEraYear|month|day";
    QTest::newRow("birth_era_year by name")
        << "select;name=birth_era | select;name=birth_era_year" << ja << "birthEra|birthEraYear";
    QTest::newRow("unknown select") << "select;options=other;label=お問い合わせ種別" << ja << "";
}

void TestFieldRecognizer::recognize()
{
    QFETCH(QString, fields);
    QFETCH(int, language);
    QFETCH(QString, keys);

    QVector<Field> described;
    for (const QString &description : fields.split(QStringLiteral(" | "))) {
        described.append(field(description));
    }
    const QVector<FieldRecognizer::Decision> decisions = FieldRecognizer::recognize(described, language);
    QCOMPARE(decisions.size(), described.size());
    QStringList found;
    QStringList evidence;
    for (const FieldRecognizer::Decision &decision : decisions) {
        found.append(decision.key);
        evidence.append(decision.evidence);
    }
    if (found.join(QLatin1Char('|')) != keys) {
        qWarning() << "evidence:" << evidence;
    }
    QCOMPARE(found.join(QLatin1Char('|')), keys);
}

namespace {

// The keys decided for the fields, joined by "|".
QString keysFor(const QString &fields, bool mobilePhone = false)
{
    QVector<Field> described;
    for (const QString &description : fields.split(QStringLiteral(" | "))) {
        described.append(field(description));
    }
    FieldRecognizer::Hints hints;
    hints.mobilePhone = mobilePhone;
    QStringList found, evidence;
    for (const FieldRecognizer::Decision &decision :
         FieldRecognizer::recognize(described, FieldMenu::Japanese, hints)) {
        found.append(decision.key);
        evidence.append(decision.evidence);
    }
    qDebug() << "evidence:" << evidence;
    return found.join(QLatin1Char('|'));
}

} // namespace

// Another person's section stays empty, whichever way the page says whose it is; the user's own
// part of the same page is filled.
void TestFieldRecognizer::otherPeoplesSections_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("keys");
    const auto own = QStringLiteral("heading=お申込者;label=お名前 | ");
    const QStringList headed{"保証人", "連帯保証人", "緊急連絡先", "同行者", "同伴者", "ご家族",
                             "配偶者", "勤務先",     "学校",       "学歴",   "職歴",   "紹介者"};
    for (const QString &word : headed) {
        QTest::newRow(qPrintable(QStringLiteral("heading ") + word))
            << own + QStringLiteral("heading=%1;label=お名前").arg(word) << "fullName|";
        QTest::newRow(qPrintable(QStringLiteral("legend ") + word))
            << own + QStringLiteral("legend=%1の連絡先;label=電話番号").arg(word) << "fullName|";
        QTest::newRow(qPrintable(QStringLiteral("row ") + word))
            << own + QStringLiteral("row=%1の住所;label=郵便番号;maxlength=8").arg(word) << "fullName|";
    }
    for (const char *prefix : {"grt_", "emg_", "comp1_", "spouse_"}) {
        QTest::newRow(qPrintable(prefix))
            << own + QStringLiteral("name=%1tel;type=tel").arg(prefix) << "fullName|";
    }
    QTest::newRow("お届け先 beside the orderer")
        << "heading=ご注文者;label=お名前 | heading=お届け先;label=お名前"
        << "fullName|";
    QTest::newRow("お届け先 alone") << "heading=お届け先;label=お名前"
                                    << "fullName";
    QTest::newRow("保護者 on a student's form") << "heading=志願者;label=お名前 | heading=保護者;label=お名前"
                                                << "fullName|";
    QTest::newRow("保護者 on a form about a child")
        << "heading=保護者;label=お名前 | heading=お子さま;label=お名前"
        << "fullName|";
    QTest::newRow("family_name is the user's") << "name=family_name | name=given_name"
                                               << "familyName|lastName";
    QTest::newRow("the user's own legend under a guarantor heading")
        << "heading=連帯保証人のご案内;legend=ご本人;label=お名前"
        << "fullName";
    // Sections: where a kind of value repeats, and whose each one is by its title, column or names.
    const auto user = QStringLiteral("label=お名前 | label=郵便番号;maxlength=8 | ");
    QTest::newRow("a second name and postal code of no one's")
        << user + QStringLiteral("label=お名前 | label=郵便番号;maxlength=8") << "fullName|zipcode||";
    for (const char *word : {"被保険者", "搭乗者2", "付き添いの方", "ゲスト2", "お子様"}) {
        QTest::newRow(qPrintable(QStringLiteral("block ") + QString::fromUtf8(word)))
            << user + QStringLiteral("block=1:%1;label=お名前 | block=1:%1;label=電話番号;type=tel").arg(word)
            << "fullName|zipcode||";
    }
    for (const char *word : {"ご請求先", "返礼品の送付先", "休暇中の連絡先", "希望勤務地"}) {
        QTest::newRow(qPrintable(QStringLiteral("place ") + QString::fromUtf8(word)))
            << user
                   + QStringLiteral("label=メール;type=email | block=1:%1;label=郵便番号;maxlength=8 | "
                                    "block=1:%1;label=電話番号;type=tel")
                         .arg(word)
            << "fullName|zipcode|mail||";
    }
    QTest::newRow("the user second, after the child")
        << "block=1:生徒;label=お名前 | block=1:生徒;label=生年月日;type=date | "
           "block=2:保護者;label=お名前 | block=2:保護者;label=電話番号;type=tel"
        << "||fullName|telephone";
    QTest::newRow("the insured's row group first")
        << "rowgroup=被保険者;label=生年;select;options=years | rowgroup=ご契約者;label=お名前 | "
           "rowgroup=ご契約者;label=生年;select;options=years"
        << "|fullName|year";
    QTest::newRow("a same-as choice leaves its section")
        << user
               + QStringLiteral(
                   "block=1:別のご住所;type=checkbox;after=上記と同じ | block=1:別のご住所;label=お名前 | "
                   "block=1:別のご住所;label=郵便番号;maxlength=8")
        << "fullName|zipcode|||";
    QTest::newRow("names say the place")
        << user + QStringLiteral("name=ship[name] | name=ship[zip];maxlength=8") << "fullName|zipcode||";
    QTest::newRow("columns headed by parties") << "column=ご本人;label=お名前 | column=配偶者;label=お名前 | "
                                                  "column=ご本人;label=郵便番号;maxlength=8 | "
                                                  "column=配偶者;label=メール;type=email"
                                               << "fullName||zipcode|";
    QTest::newRow("the shipping address is the only address")
        << "label=お名前 | block=1:Shipping address;label=郵便番号;maxlength=8"
        << "fullName|zipcode";
    QTest::newRow("school dates are not the birth date")
        << "heading=学歴・職歴;select;options=years | heading=学歴・職歴;select;options=months"
        << "|";
}

void TestFieldRecognizer::otherPeoplesSections()
{
    QFETCH(QString, fields);
    QFETCH(QString, keys);
    QCOMPARE(keysFor(fields), keys);
}

// Rules that depend on the form around a field: address cuts, era years, date examples, phone rows,
// hyphen notes, letter case.
void TestFieldRecognizer::formRules_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<bool>("mobile");
    QTest::addColumn<QString>("keys");
    QTest::newRow("住所 after a prefecture select, building box after")
        << "select;options=prefs | label=住所 | label=建物名" << false << "pref|cityStreet|building";
    QTest::newRow("住所 textarea without a prefecture control")
        << "label=住所;type=textarea" << false << "fullAddress";
    QTest::newRow("a text area for a name") << "label=お名前;type=textarea" << false << "";
    QTest::newRow("placeholder example is a hint")
        << "label=ご住所;placeholder=都道府県から入力" << false << "fullAddress";
    QTest::newRow("町名・番地") << "label=市区町村 | label=町名・番地 | label=建物名" << false
                                << "city|townStreet|building";
    QTest::newRow("address-line1 and 2")
        << "ac=address-line1 | ac=address-line2" << false << "townStreet|building";
    QTest::newRow("full-width pattern") << "label=番地;pattern=[^ -~]+" << false << "street.fullWidth";
    QTest::newRow("era select and a two-digit year")
        << "select;options=eras;row=生年月日 | row=生年月日;name=birth_year;maxlength=2" << false
        << "birthEra|birthEraYear";
    QTest::newRow("era radio buttons")
        << "type=radio;name=gengo;value=S;after=昭和;row=生年月日 | "
           "type=radio;name=gengo;value=H;after=平成;row=生年月日 | row=生年月日;name=birth_y;maxlength=2"
        << false << "birthEra|birthEra|birthEraYear";
    QTest::newRow("radio buttons of no era") << "type=radio;name=sex;value=1;after=男性" << false << "";
    QTest::newRow("date type") << "type=date;label=生年月日" << false << "birthDate";
    QTest::newRow("date example with slashes")
        << "label=生年月日;placeholder=例）1990/01/01" << false << "birthDateSlashed";
    QTest::newRow("date example of eight digits")
        << "label=生年月日;placeholder=19900101" << false << "birthDate.digits";
    QTest::newRow("postal box in an address row")
        << "row=ご住所;label=郵便番号;maxlength=8" << false << "zipcode";
    QTest::newRow("home and mobile rows, mobile number")
        << "label=自宅電話番号;type=tel | label=携帯電話番号;type=tel" << true << "|telephone";
    QTest::newRow("home and mobile rows, home number")
        << "label=自宅電話番号;type=tel | label=携帯電話番号;type=tel" << false << "telephone|";
    QTest::newRow("a mobile number, home and daytime rows")
        << "label=自宅電話番号;type=tel | label=日中の連絡先電話番号;type=tel" << true << "|telephone";
    QTest::newRow("hyphen note after the box")
        << "label=電話番号;type=tel;after=ハイフン不要" << false << "telephone.digits";
    QTest::newRow("capitals only") << "label=氏名（ローマ字）;pattern=[A-Z ]+" << false
                                   << "fullNameE.upperCase";
    QTest::newRow("aria-labelledby") << "labelledby=メールアドレス" << false << "mail";
    QTest::newRow("title alone") << "title=郵便番号（例 390-0001）" << false << "zipcode";
    QTest::newRow("a clear label over a random id") << "id=q-7f3cc;label=お名前" << false << "fullName";
    QTest::newRow("name example without a space")
        << "label=氏名;after=スペースなしで入力" << false << "fullName.noSpaces";
    QTest::newRow("search box named name beside a category")
        << "form=f:0;select;options=other | form=f:0;name=name" << false << "|";
}

void TestFieldRecognizer::formRules()
{
    QFETCH(QString, fields);
    QFETCH(bool, mobile);
    QFETCH(QString, keys);
    QCOMPARE(keysFor(fields, mobile), keys);
}

void TestFieldRecognizer::evidenceNamesTheDecidingClue()
{
    const auto decisions = FieldRecognizer::recognize({field("name=zip01;maxlength=3"), field("name=zip02"),
                                                       field("type=password;name=pw"), field("name=company"),
                                                       field("name=zip;value=100-0001;form=b")},
                                                      FieldMenu::Japanese);
    QCOMPARE(decisions[0].evidence, QStringLiteral("name zip01, box 1 of 2"));
    QCOMPARE(decisions[2].evidence, QStringLiteral("type password"));
    QVERIFY(decisions[3].evidence.contains(QStringLiteral("name company")));
    QCOMPARE(decisions[4].evidence, QStringLiteral("already filled"));
}

// Texts a page can put anywhere: nothing crashes, nothing odd is filled, long texts stay cheap.
void TestFieldRecognizer::hostileDescriptions()
{
    const QString huge = QString(200000, QChar(0x540D)); // 名 …
    const QString oddText = QString::fromUtf16(u"\xD800\x0000\x3099\xFFFF") + QStringLiteral("ﾞ");
    Field longLabel = field("name=x");
    longLabel.label = huge;
    longLabel.rowLabel = huge;
    Field brokenPattern = field("label=郵便番号;pattern=(((");
    Field hugePattern = field("label=郵便番号;form=b"); // a second postal code: of a form of its own
    hugePattern.pattern = QStringLiteral("(a|a)*") + huge;
    Field odd = field("");
    odd.name = oddText;
    odd.id = oddText;
    odd.autocomplete = oddText;
    odd.label = oddText;
    odd.placeholder = oddText;
    Field manyOptions = field("select;name=pref");
    for (int i = 0; i < 20000; ++i) {
        manyOptions.options.append({QString::number(i), QString::number(i)});
    }
    Field badSelection = field("select;options=prefs;selected=999;name=pref");
    const auto decisions = FieldRecognizer::recognize(
        {longLabel, brokenPattern, field("name=other"), hugePattern, odd, manyOptions, badSelection},
        FieldMenu::Japanese);
    QCOMPARE(decisions.size(), 7);
    QCOMPARE(decisions[1].key, QStringLiteral("zipcode"));
    QCOMPARE(decisions[3].key, QStringLiteral("zipcode"));
    QVERIFY(!decisions[4].fills());
    QCOMPARE(decisions[6].key, QStringLiteral("pref"));
    QCOMPARE(SelectMatcher::match(manyOptions.options, QStringLiteral("19999"), SelectMatcher::Kind::Plain),
             19999);
    QCOMPARE(SelectMatcher::match({{oddText, oddText}}, oddText, SelectMatcher::Kind::Year), 0);
}

void TestFieldRecognizer::selectMatch_data()
{
    QTest::addColumn<QString>("options"); // text=value pairs separated by ","; a text alone has no value
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("index");

    const int pref = int(SelectMatcher::Kind::Prefecture);
    const int year = int(SelectMatcher::Kind::Year);
    const int month = int(SelectMatcher::Kind::Month);
    const int day = int(SelectMatcher::Kind::Day);
    const int era = int(SelectMatcher::Kind::Era);
    const int eraYear = int(SelectMatcher::Kind::EraYear);
    const int plain = int(SelectMatcher::Kind::Plain);
    QTest::newRow("pref by text") << "都道府県を選択=,北海道=1,東京都=13"
                                  << "東京都" << pref << 2;
    QTest::newRow("pref text without suffix") << "選択=,北海道=a,東京=b"
                                              << "東京都" << pref << 2;
    QTest::newRow("pref value without suffix") << "--=,*=京都,*=東京"
                                               << "東京都" << pref << 2;
    QTest::newRow("pref 京都 is not 東京都") << "選択=,京都府=26,東京都=13"
                                             << "京都府" << pref << 1;
    QTest::newRow("pref by code") << "選択=,*=1,*=13"
                                  << "東京都" << pref << 2;
    QTest::newRow("pref by padded code") << "選択=,*=01,*=13"
                                         << "東京都" << pref << 2;
    QTest::newRow("pref latin value") << "選択=,東京都=Tokyo"
                                      << "Tokyo" << pref << 1;
    QTest::newRow("pref latin text") << "Select=,Hokkaido=1,Tokyo=13"
                                     << "東京都" << pref << 2;
    QTest::newRow("pref full-width spaces") << "選択=,　東京都　=x"
                                            << "東京都" << pref << 1;
    QTest::newRow("pref half-width text") << "選択=,ﾄｳｷｮｳ=x,東京都=y"
                                          << "東京都" << pref << 2;
    QTest::newRow("pref text before code") << "選択=,大阪府=13,東京都=27"
                                           << "東京都" << pref << 2;
    QTest::newRow("pref placeholder never") << "東京都を選択="
                                            << "東京都" << pref << -1;
    QTest::newRow("pref no match") << "選択=,北海道=1"
                                   << "東京都" << pref << -1;
    QTest::newRow("year plain") << "----=,1984=1984,1985=1985"
                                << "1985" << year << 2;
    QTest::newRow("year with 年") << "----=,1984年=a,1985年=b"
                                  << "1985" << year << 2;
    QTest::newRow("year with era in text") << "----=,1985年（昭和60年）=1985"
                                           << "1985" << year << 1;
    QTest::newRow("year as era only") << "----=,昭和59年=x,昭和60年=y"
                                      << "1985" << year << 2;
    QTest::newRow("year 1989 as 平成元年") << "----=,平成元年=x"
                                           << "1989" << year << 1;
    QTest::newRow("year full width") << "----=,１９８５=x"
                                     << "1985" << year << 1;
    QTest::newRow("month padded value") << "--=,1月=01,4月=04"
                                        << "4" << month << 2;
    QTest::newRow("month padded text") << "--=,03=3,04=4"
                                       << "4" << month << 2;
    QTest::newRow("month english name") << "Month=,March=3,April=4"
                                        << "4" << month << 2;
    QTest::newRow("month 4 is not 14") << "--=,14=14,4=4"
                                       << "4" << month << 2;
    QTest::newRow("day with 日") << "--=,11日=11,12日=12"
                                 << "12" << day << 2;
    QTest::newRow("day value padded") << "--=,*=01,*=02"
                                      << "2" << day << 2;
    QTest::newRow("era by name") << "元号=,明治=M,昭和=S"
                                 << "昭和" << era << 2;
    QTest::newRow("era by letter value") << "元号=,*=M,*=S,*=H"
                                         << "昭和" << era << 2;
    QTest::newRow("era letter sought") << "元号=,明治=1,昭和=3"
                                       << "S" << era << 2;
    QTest::newRow("era year 元年") << "--=,元=1,2=2"
                                   << "1" << eraYear << 1;
    QTest::newRow("era year 元年 text") << "--=,元年=a,2年=b"
                                        << "1" << eraYear << 1;
    QTest::newRow("era year 60") << "--=,59=59,60=60"
                                 << "60" << eraYear << 2;
    QTest::newRow("plain text") << "選択=,男性=m,女性=f"
                                << "女性" << plain << 2;
    QTest::newRow("plain value") << "選択=,男性=m,女性=f"
                                 << "f" << plain << 2;
    QTest::newRow("empty value sought") << "選択=,男性=m"
                                        << "" << plain << -1;
}

void TestFieldRecognizer::selectMatch()
{
    QFETCH(QString, options);
    QFETCH(QString, value);
    QFETCH(int, kind);
    QFETCH(int, index);

    QVector<SelectMatcher::Option> list;
    for (const QString &pair : options.split(QLatin1Char(','))) {
        const int equals = pair.indexOf(QLatin1Char('='));
        const QString text = pair.left(equals);
        list.append({text == QStringLiteral("*") ? QString() : text, pair.mid(equals + 1)});
    }
    QCOMPARE(SelectMatcher::match(list, value, SelectMatcher::Kind(kind)), index);
}

void TestFieldRecognizer::prefectureCodes()
{
    QCOMPARE(SelectMatcher::prefectureName(1), QStringLiteral("北海道"));
    QCOMPARE(SelectMatcher::prefectureName(13), QStringLiteral("東京都"));
    QCOMPARE(SelectMatcher::prefectureName(47), QStringLiteral("沖縄県"));
    QCOMPARE(SelectMatcher::prefectureName(48), QString());
    for (int code = 1; code <= 47; ++code) {
        const QString name = SelectMatcher::prefectureName(code);
        QCOMPARE(SelectMatcher::prefectureCode(name, false), code);
        QCOMPARE(
            SelectMatcher::prefectureCode(QString::number(code).rightJustified(2, QLatin1Char('0')), true),
            code);
    }
    QCOMPARE(SelectMatcher::prefectureCode(QStringLiteral("13"), false), 0);
    QCOMPARE(SelectMatcher::prefectureCode(QStringLiteral("Osaka-fu"), false), 27);
    QCOMPARE(SelectMatcher::prefectureCode(QStringLiteral("北海"), false), 1);
}

QTEST_APPLESS_MAIN(TestFieldRecognizer)
#include "TestFieldRecognizer.moc"
