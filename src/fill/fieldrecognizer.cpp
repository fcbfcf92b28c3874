#include "fill/fieldrecognizer.h"

#include "fill/fieldmenu.h"

#include <QRegularExpression>
#include <QStringList>

namespace FieldRecognizer {

namespace {

// What a control is for, before the form of the value (script, parts, hyphens) is chosen.
enum class Concept
{
    None,
    Ignore, // something the profile has no value for: passwords, search, company, fax, messages …
    FamilyName,
    GivenName,
    FullName,
    Postal,
    Pref,
    City,
    Address1,
    Address2,
    Street,
    Building,
    AddressAny, // 住所 or addr01/addr02: which part is decided by its neighbours and labels
    Phone,
    Mail,
    UserID,
    BirthAny, // 生年月日 over several controls
    BirthDate,
    Year,
    Month,
    Day,
    Era,
    EraYear,
};

enum class Category
{
    None,
    Ignore,
    Name,
    Postal,
    Address,
    Phone,
    Mail,
    UserID,
    Birth
};

Category categoryOf(Concept c)
{
    switch (c) {
    case Concept::None:
        return Category::None;
    case Concept::Ignore:
        return Category::Ignore;
    case Concept::FamilyName:
    case Concept::GivenName:
    case Concept::FullName:
        return Category::Name;
    case Concept::Postal:
        return Category::Postal;
    case Concept::Pref:
    case Concept::City:
    case Concept::Address1:
    case Concept::Address2:
    case Concept::Street:
    case Concept::Building:
    case Concept::AddressAny:
        return Category::Address;
    case Concept::Phone:
        return Category::Phone;
    case Concept::Mail:
        return Category::Mail;
    case Concept::UserID:
        return Category::UserID;
    case Concept::BirthAny:
    case Concept::BirthDate:
    case Concept::Year:
    case Concept::Month:
    case Concept::Day:
    case Concept::Era:
    case Concept::EraYear:
        return Category::Birth;
    }
    return Category::None;
}

// A concept that says no more than its category: a more specific one from weaker evidence refines it.
bool isGeneral(Concept c)
{
    return c == Concept::FullName || c == Concept::AddressAny || c == Concept::BirthAny;
}

enum class Script
{
    Unspecified,
    Katakana,
    Hiragana,
    HalfwidthKana,
    Latin
};

// What one piece of evidence says.
struct Clue
{
    Concept concept = Concept::None;
    Script script = Script::Unspecified;
    int part = 0; // 1–3 from numbered names (zip01, tel02); 0 when none
    bool weak = false; // 年, 月, 日 and the like: only with other evidence of the same category
    QString evidence;
};

// ---- Texts -------------------------------------------------------------------------------------

// NFKC (full width and half-width kana fold), lower case, no spaces, no required/optional marks.
QString foldLabel(const QString &text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC).toLower();
    static const QRegularExpression noise(QStringLiteral("\\s+|必須|任意|required|optional|[*※:：]"));
    folded.remove(noise);
    return folded.left(60);
}

bool containsAny(const QString &text, const QStringList &words)
{
    for (const QString &word : words) {
        if (text.contains(word)) {
            return true;
        }
    }
    return false;
}

bool hasHalfwidthKana(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0xFF66 && c.unicode() <= 0xFF9F) {
            return true;
        }
    }
    return false;
}

Script labelScript(const QString &raw, const QString &t)
{
    if (hasHalfwidthKana(raw) || (t.contains(QStringLiteral("半角")) && t.contains(QStringLiteral("カ")))) {
        return Script::HalfwidthKana;
    }
    if (containsAny(t,
                    {QStringLiteral("カタカナ"), QStringLiteral("全角カナ"), QStringLiteral("katakana")})) {
        return Script::Katakana;
    }
    if (containsAny(t, {QStringLiteral("ひらがな"), QStringLiteral("ふりがな"), QStringLiteral("よみがな"),
                        QStringLiteral("せい"), QStringLiteral("めい"), QStringLiteral("hiragana")})) {
        return Script::Hiragana;
    }
    if (containsAny(t, {QStringLiteral("フリガナ"), QStringLiteral("カナ"), QStringLiteral("セイ"),
                        QStringLiteral("メイ"), QStringLiteral("ヨミ"), QStringLiteral("kana")})) {
        return Script::Katakana;
    }
    if (containsAny(t, {QStringLiteral("ローマ字"), QStringLiteral("英字"), QStringLiteral("英語"),
                        QStringLiteral("アルファベット"), QStringLiteral("romaji"),
                        QStringLiteral("alphabet")})) {
        return Script::Latin;
    }
    return Script::Unspecified;
}

// The name part a label asks for: family, given, or (both or neither) the full name.
Concept nameConcept(const QString &t)
{
    QString rest = t;
    for (const char16_t *whole : {u"お名前", u"名前", u"氏名", u"姓名", u"苗字", u"名字"}) {
        rest.remove(QString::fromUtf16(whole));
    }
    const bool family =
        rest.contains(QStringLiteral("姓"))
        || containsAny(t, {QStringLiteral("セイ"), QStringLiteral("せい"), QStringLiteral("苗字"),
                           QStringLiteral("名字"), QStringLiteral("lastname"), QStringLiteral("familyname"),
                           QStringLiteral("surname")});
    const bool given = rest.contains(QStringLiteral("名"))
                       || containsAny(t, {QStringLiteral("メイ"), QStringLiteral("めい"),
                                          QStringLiteral("firstname"), QStringLiteral("givenname")});
    if (family != given) {
        return family ? Concept::FamilyName : Concept::GivenName;
    }
    return Concept::FullName;
}

Clue labelClue(const QString &raw, const QString &source)
{
    Clue clue;
    const QString t = foldLabel(raw);
    if (t.isEmpty()) {
        return clue;
    }
    clue.evidence = QStringLiteral("%1 \"%2\"").arg(source, raw.simplified().left(30));
    clue.script = labelScript(raw, t);
    const auto is = [&](Concept c) {
        clue.concept = c;
        return clue;
    };
    static const QStringList ignored{
        QStringLiteral("パスワード"),   QStringLiteral("暗証"),         QStringLiteral("会社"),
        QStringLiteral("法人"),         QStringLiteral("団体"),         QStringLiteral("部署"),
        QStringLiteral("勤務先"),       QStringLiteral("学校"),         QStringLiteral("役職"),
        QStringLiteral("ファックス"),   QStringLiteral("ファクス"),     QStringLiteral("紹介"),
        QStringLiteral("検索"),         QStringLiteral("件名"),         QStringLiteral("題名"),
        QStringLiteral("内容"),         QStringLiteral("本文"),         QStringLiteral("メッセージ"),
        QStringLiteral("コメント"),     QStringLiteral("備考"),         QStringLiteral("質問"),
        QStringLiteral("要望"),         QStringLiteral("ホームページ"), QStringLiteral("ウェブサイト"),
        QStringLiteral("年齢"),         QStringLiteral("性別"),         QStringLiteral("クーポン"),
        QStringLiteral("ポイント"),     QStringLiteral("認証"),         QStringLiteral("カード"),
        QStringLiteral("有効期限"),     QStringLiteral("口座"),         QStringLiteral("銀行"),
        QStringLiteral("ニックネーム"), QStringLiteral("職業"),         QStringLiteral("緊急"),
        QStringLiteral("保護者"),       QStringLiteral("希望日"),       QStringLiteral("予約"),
        QStringLiteral("日時"),         QStringLiteral("時間"),         QStringLiteral("数量"),
        QStringLiteral("金額"),         QStringLiteral("配達"),
    };
    // Latin words count only as whole words: "hotel" holds no phone, "ethnicity" no city.
    const QString w = raw.normalized(QString::NormalizationForm_KC).toLower().simplified().left(80);
    const auto word = [&w](const QRegularExpression &re) { return re.match(w).hasMatch(); };
    static const QRegularExpression ignoredLatin(QStringLiteral(
        "\\b(password|fax|search|subject|message|comments?|url|website|age|gender|sex|coupon|captcha|card|"
        "nickname|company|organi[sz]ation)\\b"));
    if (containsAny(t, ignored) || word(ignoredLatin)) {
        return is(Concept::Ignore);
    }
    if (containsAny(t, {QStringLiteral("メール"), QStringLiteral("mail")})) {
        return is(Concept::Mail);
    }
    static const QRegularExpression postalLatin(QStringLiteral("\\b(postal|zip|post ?code)\\b"));
    if (containsAny(t, {QStringLiteral("郵便"), QStringLiteral("〒")}) || word(postalLatin)) {
        return is(Concept::Postal);
    }
    static const QRegularExpression prefLatin(QStringLiteral("\\b(prefecture|state|province)\\b"));
    if (t.contains(QStringLiteral("都道府県")) || word(prefLatin)) {
        return is(Concept::Pref);
    }
    static const QRegularExpression cityLatin(QStringLiteral("\\bcity\\b"));
    static const QRegularExpression streetLatin(QStringLiteral("\\bstreet\\b"));
    static const QRegularExpression buildingLatin(
        QStringLiteral("\\b(building|apartment|apt|suite|room)\\b"));
    static const QRegularExpression userLatin(
        QStringLiteral("\\b(user ?id|user ?name|login( ?id)?|account)\\b"));
    const bool city = containsAny(t, {QStringLiteral("市区町村"), QStringLiteral("市町村"),
                                      QStringLiteral("区市町村"), QStringLiteral("市区郡")})
                      || word(cityLatin);
    const bool street = t.contains(QStringLiteral("番地")) || word(streetLatin);
    const bool town =
        containsAny(t, {QStringLiteral("町名"), QStringLiteral("町域"), QStringLiteral("大字")});
    if (int(city) + int(street) + int(town) > 1) {
        // One box for two of the profile's parts: no stored value has that form.
        return is(Concept::Ignore);
    }
    if (city) {
        return is(Concept::City);
    }
    if (street) {
        return is(Concept::Street);
    }
    if (town) {
        return is(Concept::Address1);
    }
    if (containsAny(t, {QStringLiteral("小字"), QStringLiteral("丁目")})) {
        return is(Concept::Address2);
    }
    if (containsAny(t,
                    {
                        QStringLiteral("建物"),
                        QStringLiteral("マンション"),
                        QStringLiteral("ビル"),
                        QStringLiteral("アパート"),
                        QStringLiteral("部屋番号"),
                        QStringLiteral("号室"),
                    })
        || word(buildingLatin)) {
        return is(Concept::Building);
    }
    static const QRegularExpression line1(QStringLiteral("\\baddress ?(line)? ?1\\b"));
    static const QRegularExpression line2(QStringLiteral("\\baddress ?(line)? ?2\\b"));
    if (word(line1)) {
        return is(Concept::Address1);
    }
    if (word(line2)) {
        return is(Concept::Address2);
    }
    static const QRegularExpression addressLatin(QStringLiteral("\\baddress\\b"));
    if (containsAny(t, {QStringLiteral("住所"), QStringLiteral("所在地")}) || word(addressLatin)) {
        return is(Concept::AddressAny);
    }
    static const QRegularExpression phoneLatin(
        QStringLiteral("\\b(tel|telephone|phone|mobile|cell ?phone)\\b"));
    if (containsAny(t, {QStringLiteral("電話"), QStringLiteral("携帯")}) || word(phoneLatin)) {
        return is(Concept::Phone);
    }
    if (containsAny(t, {QStringLiteral("元号"), QStringLiteral("和暦")}) || t == QStringLiteral("era")) {
        return is(Concept::Era);
    }
    static const QRegularExpression birthLatin(QStringLiteral("\\b(birth|birthday|birthdate|dob)\\b"));
    if (containsAny(t, {QStringLiteral("生年月日"), QStringLiteral("誕生日"), QStringLiteral("生まれ")})
        || word(birthLatin)) {
        return is(Concept::BirthAny);
    }
    static const QRegularExpression yearWord(QStringLiteral("^(年|year|yyyy|西暦)$"));
    static const QRegularExpression monthWord(QStringLiteral("^(月|month|mm)$"));
    static const QRegularExpression dayWord(QStringLiteral("^(日|day|dd)$"));
    clue.weak = true;
    if (yearWord.match(t).hasMatch()) {
        return is(Concept::Year);
    }
    if (monthWord.match(t).hasMatch()) {
        return is(Concept::Month);
    }
    if (dayWord.match(t).hasMatch()) {
        return is(Concept::Day);
    }
    clue.weak = false;
    if (containsAny(t, {QStringLiteral("ユーザーid"), QStringLiteral("ユーザid"),
                        QStringLiteral("ユーザー名"), QStringLiteral("ユーザ名"), QStringLiteral("ログイン"),
                        QStringLiteral("アカウント"), QStringLiteral("会員id"), QStringLiteral("会員番号")})
        || word(userLatin) || t == QStringLiteral("id")) {
        return is(Concept::UserID);
    }
    static const QStringList nameWords{
        QStringLiteral("名前"),     QStringLiteral("氏名"),     QStringLiteral("姓"),
        QStringLiteral("苗字"),     QStringLiteral("名字"),     QStringLiteral("セイ"),
        QStringLiteral("メイ"),     QStringLiteral("せい"),     QStringLiteral("めい"),
        QStringLiteral("フリガナ"), QStringLiteral("ふりがな"), QStringLiteral("カナ"),
    };
    static const QRegularExpression nameLatin(
        QStringLiteral("\\b((first|last|family|given|full) ?)?name\\b|\\bsurname\\b"));
    if (containsAny(t, nameWords) || word(nameLatin) || t == QStringLiteral("名")
        || t.startsWith(QStringLiteral("名("))) {
        return is(nameConcept(t));
    }
    // A reading or Latin spelling named alone (フリガナ, ローマ字) is still a name.
    if (clue.script != Script::Unspecified) {
        return is(Concept::FullName);
    }
    return clue;
}

// ---- Names and ids -----------------------------------------------------------------------------

// "customer[lastNameKana]" → customer, last, name, kana; "zip01" → zip, 01.
QStringList tokens(const QString &text)
{
    QString spaced;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar before = i > 0 ? text.at(i - 1) : QChar();
        if (i > 0
            && ((c.isUpper() && before.isLower()) || (c.isDigit() && before.isLetter())
                || (c.isLetter() && before.isDigit()))) {
            spaced += QLatin1Char(' ');
        }
        spaced += c.isLetterOrNumber() && c.unicode() < 0x80 ? c.toLower() : QLatin1Char(' ');
    }
    return spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

Clue nameClue(const QString &raw, const QString &source)
{
    Clue clue;
    const QStringList words = tokens(raw);
    if (words.isEmpty()) {
        return clue;
    }
    clue.evidence = QStringLiteral("%1 %2").arg(source, raw.left(30));
    const auto has = [&](std::initializer_list<const char *> list) {
        for (const char *w : list) {
            if (words.contains(QLatin1String(w))) {
                return true;
            }
        }
        return false;
    };
    for (const QString &w : words) {
        bool ok = false;
        const int n = w.toInt(&ok);
        if (ok) {
            clue.part = n >= 1 && n <= 3 ? n : -1;
        }
    }
    if (has({"kana", "furigana", "kn", "yomi", "ruby", "phonetic", "reading", "katakana"})) {
        clue.script = Script::Katakana;
    }
    if (has({"hiragana", "hira"})) {
        clue.script = Script::Hiragana;
    }
    if (has({"hankaku"}) && clue.script == Script::Katakana) {
        clue.script = Script::HalfwidthKana;
    }
    if (has({"roma", "romaji", "roman", "alphabet", "eng", "english"})) {
        clue.script = Script::Latin;
    }
    const auto is = [&](Concept c) {
        clue.concept = c;
        return clue;
    };
    if (has({"pass",        "password", "passwd",       "pwd",      "q",          "s",        "search",
             "keyword",     "keywords", "query",        "captcha",  "coupon",     "company",  "corp",
             "corporation", "kaisha",   "organization", "dept",     "department", "fax",      "subject",
             "message",     "msg",      "comment",      "comments", "inquiry",    "content",  "contents",
             "note",        "notes",    "url",          "homepage", "website",    "age",      "sex",
             "gender",      "token",    "csrf",         "nickname", "referrer",   "referral", "shokai",
             "emergency",   "parent",   "guardian",     "hogosha",  "office",     "job",      "occupation",
             "card",        "cc",       "cvc",          "quantity", "qty"})) {
        return is(Concept::Ignore);
    }
    if (has({"email", "mail", "mailaddress", "emailaddress"})) {
        // email02, email_confirm: the confirmation box gets the same value.
        return is(Concept::Mail);
    }
    if (has({"zip", "zipcode", "postal", "postcode", "postalcode", "yubin", "yuubin"})
        || (has({"post"}) && has({"code"}))) {
        return is(Concept::Postal);
    }
    if (has({"pref", "prefecture", "todofuken", "state", "province"})) {
        return is(Concept::Pref);
    }
    if (has({"city", "shikuchoson", "municipality"})) {
        return is(Concept::City);
    }
    if (has({"town", "chomei", "ooaza", "oaza"})) {
        return is(Concept::Address1);
    }
    if (has({"street", "banchi"})) {
        return is(Concept::Street);
    }
    if (has({"building", "bldg", "tatemono", "apartment", "apt", "mansion", "room", "biru"})) {
        return is(Concept::Building);
    }
    if (has({"addr", "address", "jusho", "juusho", "adr"})) {
        return is(Concept::AddressAny);
    }
    if (has({"tel", "phone", "telephone", "phonenumber", "mobile", "keitai", "cell", "cellphone", "denwa"})) {
        return is(Concept::Phone);
    }
    if (has({"user", "userid", "username", "login", "loginid", "account", "uid", "memberid"})) {
        return is(Concept::UserID);
    }
    const bool birth = has({"birth", "birthday", "bday", "dob", "birthdate", "tanjobi", "seinengappi"});
    const bool yearWord = has({"year", "yyyy"}) || (birth && has({"y"}));
    if (has({"era", "gengo", "gengou", "wareki", "nengo"})) {
        return is(yearWord ? Concept::EraYear : Concept::Era);
    }
    const bool monthWord = has({"month", "mm"}) || (birth && has({"m"}));
    const bool dayWord = has({"day", "dd"}) || (birth && has({"d"}));
    if (int(yearWord) + int(monthWord) + int(dayWord) == 1) {
        clue.weak = !birth;
        return is(yearWord ? Concept::Year : monthWord ? Concept::Month : Concept::Day);
    }
    if (birth) {
        return is(Concept::BirthAny);
    }
    // Name words are common (shop_name, first_visit): every other word must be one that forms use
    // around a person's name.
    static const QStringList nameWords{
        "name",      "names",      "onamae",    "shimei",   "fullname", "full",      "sei",      "mei",
        "last",      "first",      "family",    "given",    "surname",  "lname",     "fname",    "lastname",
        "firstname", "familyname", "givenname", "myoji",    "kana",     "furigana",  "kn",       "yomi",
        "ruby",      "phonetic",   "reading",   "katakana", "hiragana", "hira",      "hankaku",  "roma",
        "romaji",    "roman",      "alphabet",  "eng",      "english",  "your",      "customer", "cust",
        "member",    "contact",    "order",     "orderer",  "buyer",    "applicant", "entry",    "form",
        "input",     "field",      "data",      "my",       "person",   "personal",  "billing",  "shipping",
        "delivery",  "sender",     "guest",     "kanji",    "jp",       "ja",        "txt",      "text",
        "inp"};
    for (const QString &w : words) {
        if (!w.at(0).isDigit() && !nameWords.contains(w)) {
            clue.evidence.clear();
            clue.script = Script::Unspecified;
            return clue;
        }
    }
    const bool family = has({"sei", "last", "lastname", "family", "familyname", "surname", "lname", "myoji"});
    const bool given = has({"mei", "first", "firstname", "given", "givenname", "fname"});
    if (family != given) {
        return is(family ? Concept::FamilyName : Concept::GivenName);
    }
    if (has({"name", "onamae", "shimei", "fullname"}) || clue.script == Script::Katakana
        || clue.script == Script::Hiragana) {
        // name01 / kana01 are the family name, name02 / kana02 the given name.
        if (clue.part == 1) {
            return is(Concept::FamilyName);
        }
        if (clue.part == 2) {
            return is(Concept::GivenName);
        }
        return is(Concept::FullName);
    }
    clue.evidence.clear();
    clue.script = Script::Unspecified;
    return clue;
}

// ---- autocomplete ------------------------------------------------------------------------------

Clue autocompleteClue(const QString &raw)
{
    Clue clue;
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    QStringList words = raw.toLower().split(spaces, Qt::SkipEmptyParts);
    while (!words.isEmpty()
           && (words.first().startsWith(QStringLiteral("section-"))
               || words.first() == QStringLiteral("shipping")
               || words.first() == QStringLiteral("billing"))) {
        words.removeFirst();
    }
    if (words.size() > 1) {
        if (words.first() == QStringLiteral("fax") || words.first() == QStringLiteral("pager")) {
            words = QStringList{QStringLiteral("fax")};
        } else {
            words.removeFirst(); // home, work, mobile
        }
    }
    if (words.size() != 1) {
        return clue;
    }
    const QString token = words.first();
    static const QHash<QString, Concept> concepts{
        {QStringLiteral("name"), Concept::FullName},
        {QStringLiteral("family-name"), Concept::FamilyName},
        {QStringLiteral("given-name"), Concept::GivenName},
        {QStringLiteral("username"), Concept::UserID},
        {QStringLiteral("email"), Concept::Mail},
        {QStringLiteral("tel"), Concept::Phone},
        {QStringLiteral("tel-national"), Concept::Phone},
        {QStringLiteral("tel-area-code"), Concept::Phone},
        {QStringLiteral("tel-local-prefix"), Concept::Phone},
        {QStringLiteral("tel-local-suffix"), Concept::Phone},
        {QStringLiteral("postal-code"), Concept::Postal},
        {QStringLiteral("address-level1"), Concept::Pref},
        {QStringLiteral("address-level2"), Concept::City},
        {QStringLiteral("address-level3"), Concept::Address1},
        {QStringLiteral("address-line1"), Concept::Address1},
        {QStringLiteral("address-line2"), Concept::Address2},
        {QStringLiteral("address-line3"), Concept::Street},
        {QStringLiteral("street-address"), Concept::AddressAny},
        {QStringLiteral("bday"), Concept::BirthDate},
        {QStringLiteral("bday-year"), Concept::Year},
        {QStringLiteral("bday-month"), Concept::Month},
        {QStringLiteral("bday-day"), Concept::Day},
    };
    static const QHash<QString, int> parts{{QStringLiteral("tel-area-code"), 1},
                                           {QStringLiteral("tel-local-prefix"), 2},
                                           {QStringLiteral("tel-local-suffix"), 3}};
    if (token == QStringLiteral("on") || token == QStringLiteral("off")) {
        return clue;
    }
    clue.evidence = QStringLiteral("autocomplete ") + raw.simplified();
    clue.concept = concepts.value(token, Concept::Ignore);
    clue.part = parts.value(token);
    return clue;
}

// ---- Select options ----------------------------------------------------------------------------

Clue optionsClue(const Field &field)
{
    Clue clue;
    int total = 0, prefectures = 0, eras = 0, years = 0, maxNumber = 0, numbers = 0;
    static const QRegularExpression eraName(QStringLiteral("明治|大正|昭和|平成|令和"));
    static const QRegularExpression fourDigits(QStringLiteral("(?<!\\d)(18|19|20)\\d\\d(?!\\d)"));
    static const QRegularExpression number(QStringLiteral("^0*(\\d{1,2})(月|日|年)?$"));
    for (const SelectMatcher::Option &option : field.options) {
        const QString text = option.text.normalized(QString::NormalizationForm_KC).simplified();
        if (option.value.trimmed().isEmpty() || text.contains(QStringLiteral("選択"))) {
            continue;
        }
        ++total;
        if (SelectMatcher::prefectureCode(text, false) > 0) {
            ++prefectures;
        }
        if (eraName.match(text).hasMatch() && text.size() <= 6) {
            ++eras;
        }
        if (fourDigits.match(text).hasMatch()) {
            ++years;
        }
        const QRegularExpressionMatch m =
            number.match(text == QStringLiteral("元年") ? QStringLiteral("1") : text);
        if (m.hasMatch()) {
            ++numbers;
            maxNumber = qMax(maxNumber, m.captured(1).toInt());
        }
    }
    const auto is = [&](Concept c, const char *what) {
        clue.concept = c;
        clue.evidence = QStringLiteral("options ") + QLatin1String(what);
        return clue;
    };
    if (total == 0) {
        return clue;
    }
    if (prefectures >= 40) {
        return is(Concept::Pref, "prefectures");
    }
    if (eras >= 2 && eras == total) {
        return is(Concept::Era, "eras");
    }
    if (years >= 10 && years * 10 >= total * 9) {
        return is(Concept::Year, "years");
    }
    if (numbers == total && total == 12 && maxNumber == 12) {
        return is(Concept::Month, "months");
    }
    if (numbers == total && total >= 28 && total <= 31 && maxNumber == total) {
        return is(Concept::Day, "days");
    }
    if (numbers == total && total > 31 && maxNumber <= 99) {
        return is(Concept::EraYear, "era years");
    }
    return clue;
}

// ---- One field ---------------------------------------------------------------------------------

bool isSelect(const Field &field)
{
    return field.tag.compare(QStringLiteral("SELECT"), Qt::CaseInsensitive) == 0;
}

QString typeOf(const Field &field)
{
    return field.type.trimmed().toLower();
}

QString inputModeOf(const Field &field)
{
    return field.inputMode.trimmed().toLower();
}

constexpr int maxPatternLength = 500;

// Why an input is never filled, or empty when it may be.
QString excluded(const Field &field)
{
    if (!isSelect(field)) {
        static const QStringList textLike{QString(),
                                          QStringLiteral("text"),
                                          QStringLiteral("search"),
                                          QStringLiteral("tel"),
                                          QStringLiteral("url"),
                                          QStringLiteral("email"),
                                          QStringLiteral("number")};
        const QString type = typeOf(field);
        if (!textLike.contains(type)) {
            return QStringLiteral("type ") + type;
        }
    }
    return QString();
}

struct Reading
{
    Concept concept = Concept::None;
    Script script = Script::Unspecified;
    int part = 0;
    QString evidence;
    QString refusal; // why the field is left alone despite its evidence
    bool fromRowOnly = false; // only the row's heading spoke: a group label over several boxes
};

// Scripts a pattern lets through, as a set of bits (1 katakana, 2 hiragana, 4 half-width, 8 Latin).
int patternScripts(const QString &pattern)
{
    int scripts = 0;
    if (pattern.size() > maxPatternLength) {
        return 0; // no form asks for a script at this length: not worth reading
    }
    for (const QChar c : pattern) {
        const ushort u = c.unicode();
        if (u >= 0x30A1 && u <= 0x30FA) {
            scripts |= 1;
        } else if (u >= 0x3041 && u <= 0x3096) {
            scripts |= 2;
        } else if (u >= 0xFF66 && u <= 0xFF9F) {
            scripts |= 4;
        } else if (u >= 0x4E00 && u <= 0x9FFF) {
            return 0; // kanji allowed: no script asked for
        }
    }
    if (scripts == 0
        && (pattern.contains(QStringLiteral("a-z")) || pattern.contains(QStringLiteral("A-Z")))) {
        scripts = 8;
    }
    return scripts;
}

// A unit written after a box (1985 年, 4 月) reaches us as the text before the next one.
bool isUnit(const QString &text)
{
    static const QRegularExpression unit(QStringLiteral("^(年|月|日)$"));
    return unit.match(text.trimmed()).hasMatch();
}

Reading read(const Field &field, const QString &textAfter)
{
    Reading reading;
    QVector<Clue> clues;
    clues << autocompleteClue(field.autocomplete) << nameClue(field.name, QStringLiteral("name"))
          << nameClue(field.id, QStringLiteral("id"));
    if (isSelect(field)) {
        clues << optionsClue(field);
    }
    clues << labelClue(field.label, QStringLiteral("label"))
          << labelClue(field.ariaLabel, QStringLiteral("aria"))
          << labelClue(field.labelledBy, QStringLiteral("labelledby"))
          << labelClue(field.title, QStringLiteral("title"))
          << labelClue(isUnit(field.textBefore) ? QString() : field.textBefore, QStringLiteral("text"))
          << labelClue(textAfter, QStringLiteral("text after"))
          << labelClue(field.placeholder, QStringLiteral("placeholder"))
          << labelClue(field.rowLabel, QStringLiteral("row"));
    const int rowIndex = clues.size() - 1;
    if (typeOf(field) == QStringLiteral("email") || inputModeOf(field) == QStringLiteral("email")) {
        Clue typed;
        typed.concept = Concept::Mail;
        typed.evidence = QStringLiteral("type email");
        clues << typed;
    }
    if (typeOf(field) == QStringLiteral("search")) {
        Clue typed;
        typed.concept = Concept::Ignore;
        typed.evidence = QStringLiteral("type search");
        clues << typed;
    }

    Category category = Category::None;
    QString categoryEvidence;
    bool strong = false;
    int deciding = -1;
    for (int i = 0; i < clues.size(); ++i) {
        const Clue &clue = clues[i];
        if (clue.concept == Concept::None) {
            continue;
        }
        const Category c = categoryOf(clue.concept);
        if (c == Category::Ignore) {
            reading.refusal = QStringLiteral("not personal data: ") + clue.evidence;
            return reading;
        }
        if (category != Category::None && c != category) {
            reading.refusal = QStringLiteral("contradiction: %1 / %2").arg(categoryEvidence, clue.evidence);
            return reading;
        }
        category = c;
        if (categoryEvidence.isEmpty()) {
            categoryEvidence = clue.evidence;
        }
        strong = strong || !clue.weak;
        const bool better = deciding < 0 || (isGeneral(clues[deciding].concept) && !isGeneral(clue.concept))
                            || (clues[deciding].weak && !clue.weak && !isGeneral(clue.concept));
        if (better) {
            deciding = i;
        }
    }
    if (deciding < 0) {
        reading.refusal = QStringLiteral("no evidence");
        return reading;
    }
    if (!strong) {
        reading.refusal = QStringLiteral("weak evidence: ") + clues[deciding].evidence;
        return reading;
    }
    reading.concept = clues[deciding].concept;
    reading.evidence = clues[deciding].evidence;
    reading.fromRowOnly = deciding == rowIndex;
    for (const Clue &clue : qAsConst(clues)) {
        if (reading.part == 0 && clue.part != 0 && categoryOf(clue.concept) == category) {
            reading.part = clue.part;
        }
    }
    // The script asked for: the pattern decides among what it allows, then labels, then names.
    Script wanted = Script::Unspecified;
    for (int pass = 0; pass < 2 && wanted == Script::Unspecified; ++pass) {
        for (int i = pass == 0 ? 3 : 0; i < (pass == 0 ? clues.size() : 3); ++i) {
            if (clues[i].script != Script::Unspecified) {
                wanted = clues[i].script;
                break;
            }
        }
    }
    const int allowed = patternScripts(field.pattern);
    if (allowed != 0) {
        const int bit = wanted == Script::Katakana        ? 1
                        : wanted == Script::Hiragana      ? 2
                        : wanted == Script::HalfwidthKana ? 4
                        : wanted == Script::Latin         ? 8
                                                          : 0;
        if (!(allowed & bit)) {
            wanted = (allowed & 1)   ? Script::Katakana
                     : (allowed & 2) ? Script::Hiragana
                     : (allowed & 4) ? Script::HalfwidthKana
                                     : Script::Latin;
        }
        reading.evidence += QStringLiteral(", pattern");
    }
    reading.script = wanted;
    return reading;
}

// ---- Form of the value -------------------------------------------------------------------------

bool patternAccepts(const QString &pattern, const QStringList &samples)
{
    if (pattern.size() > maxPatternLength) {
        return true;
    }
    const QRegularExpression whole(QStringLiteral("^(?:") + pattern + QStringLiteral(")$"));
    if (!whole.isValid()) {
        return true; // a pattern we cannot read does not decide
    }
    for (const QString &sample : samples) {
        if (whole.match(sample).hasMatch()) {
            return true;
        }
    }
    return false;
}

// The key for a single box holding a postal code or phone number: with hyphens as stored, digits
// only, or empty when neither fits.
QString joinedKey(const Field &field, const QString &key, const QStringList &hyphenated,
                  const QStringList &digitsOnly, int hyphenLength, int digitLength, QString &note)
{
    bool hyphen = typeOf(field) != QStringLiteral("number");
    bool digits = true;
    if (field.maxLength >= 0) {
        hyphen = hyphen && field.maxLength >= hyphenLength;
        digits = field.maxLength >= digitLength;
        note = QStringLiteral(", maxlength %1").arg(field.maxLength);
    }
    if (!field.pattern.isEmpty()) {
        hyphen = hyphen && patternAccepts(field.pattern, hyphenated);
        digits = digits && patternAccepts(field.pattern, digitsOnly);
        note += QStringLiteral(", pattern");
    }
    const QString shown = field.placeholder.normalized(QString::NormalizationForm_KC);
    static const QRegularExpression digitRun(QStringLiteral("\\d{5,}"));
    const bool numericKeys = inputModeOf(field) == QStringLiteral("numeric"); // a keypad without a hyphen
    const bool prefersDigits =
        numericKeys || (!shown.contains(QLatin1Char('-')) && digitRun.match(shown).hasMatch());
    if (digits && (prefersDigits || !hyphen)) {
        if (prefersDigits) {
            note += numericKeys ? QStringLiteral(", inputmode numeric") : QStringLiteral(", placeholder");
        }
        return key + QStringLiteral(".digits");
    }
    return hyphen ? key : QString();
}

QString nameKey(Concept concept, Script script)
{
    const QString base = concept == Concept::FamilyName  ? QStringLiteral("familyName")
                         : concept == Concept::GivenName ? QStringLiteral("lastName")
                                                         : QStringLiteral("fullName");
    switch (script) {
    case Script::Unspecified:
        return base;
    case Script::Katakana:
        return base + QLatin1Char('K');
    case Script::Hiragana:
        return base + QStringLiteral("K.hiragana");
    case Script::HalfwidthKana:
        return base + QStringLiteral("K.halfwidthKana");
    case Script::Latin:
        return base + QLatin1Char('E');
    }
    return base;
}

bool isNumericType(const Field &field)
{
    const QString type = typeOf(field);
    return type == QStringLiteral("number") || type == QStringLiteral("tel");
}

// Consecutive fields of one category, ignoring controls that are never filled in between.
struct Run
{
    QVector<int> members;
};

} // namespace

QVector<Decision> recognize(const QVector<Field> &fields, int inputLanguage)
{
    QVector<Decision> decisions(fields.size());
    QVector<Reading> readings(fields.size());
    QVector<int> candidates; // fields that may take a value, in order
    for (int i = 0; i < fields.size(); ++i) {
        const QString why = excluded(fields[i]);
        if (!why.isEmpty()) {
            decisions[i].evidence = why;
            continue;
        }
        candidates.append(i);
    }
    for (int c = 0; c < candidates.size(); ++c) {
        const int i = candidates[c];
        const bool unitAfter = c + 1 < candidates.size() && isUnit(fields[candidates[c + 1]].textBefore);
        readings[i] = read(fields[i], unitAfter ? fields[candidates[c + 1]].textBefore : QString());
    }

    // A numbered or labelled first box followed by unlabelled boxes after a hyphen: 〒[ ]-[ ], 電話[ ]-[ ]-[
    // ].
    for (int c = 1; c < candidates.size(); ++c) {
        Reading &here = readings[candidates[c]];
        const Reading &before = readings[candidates[c - 1]];
        const Field &field = fields[candidates[c]];
        static const QRegularExpression hyphen(QStringLiteral("^[-－−‐‑–—―ｰー]$"));
        if (here.concept == Concept::None && here.refusal == QStringLiteral("no evidence")
            && (before.concept == Concept::Postal || before.concept == Concept::Phone)
            && hyphen.match(field.textBefore.trimmed()).hasMatch()) {
            here.concept = before.concept;
            here.evidence = QStringLiteral("after ") + before.evidence;
            here.refusal.clear();
        }
    }

    // Group consecutive candidates of the same concept family.
    QVector<Run> runs;
    for (int c = 0; c < candidates.size(); ++c) {
        const int i = candidates[c];
        const Concept concept = readings[i].concept;
        const bool grouped = concept == Concept::Postal || concept == Concept::Phone
                             || categoryOf(concept) == Category::Birth
                             || (concept == Concept::FullName && readings[i].fromRowOnly);
        if (!grouped) {
            continue;
        }
        const auto sameGroup = [&](int other) {
            const Reading &r = readings[other];
            if (categoryOf(concept) == Category::Birth) {
                return categoryOf(r.concept) == Category::Birth;
            }
            return r.concept == concept && r.fromRowOnly == readings[i].fromRowOnly
                   && (concept != Concept::FullName || r.script == readings[i].script);
        };
        if (c > 0 && !runs.isEmpty() && runs.last().members.last() == candidates[c - 1]
            && sameGroup(candidates[c - 1])) {
            runs.last().members.append(i);
        } else {
            runs.append(Run{QVector<int>{i}});
        }
    }

    QVector<QString> keys(fields.size());
    QVector<QString> notes(fields.size());
    for (const Run &run : qAsConst(runs)) {
        const int size = run.members.size();
        const Concept concept = readings[run.members.first()].concept;
        if (concept == Concept::Postal || concept == Concept::Phone) {
            const int parts = concept == Concept::Postal ? 2 : 3;
            const QString key =
                concept == Concept::Postal ? QStringLiteral("zipcode") : QStringLiteral("telephone");
            if (size == 1) {
                continue; // a single box: handled below
            }
            if (size != parts) {
                for (int i : run.members) {
                    readings[i].refusal =
                        QStringLiteral("%1 boxes for a value in %2 parts").arg(size).arg(parts);
                }
                continue;
            }
            for (int p = 0; p < size; ++p) {
                const int i = run.members[p];
                const int needed = concept == Concept::Postal ? (p == 0 ? 3 : 4) : 2;
                if (fields[i].maxLength >= 0 && fields[i].maxLength < needed) {
                    readings[i].refusal = QStringLiteral("maxlength %1 too short").arg(fields[i].maxLength);
                    continue;
                }
                if (readings[i].part > 0 && readings[i].part != p + 1) {
                    readings[i].refusal = QStringLiteral("numbered out of order");
                    continue;
                }
                keys[i] = key + QStringLiteral(".part%1").arg(p + 1);
                notes[i] = QStringLiteral(", box %1 of %2").arg(p + 1).arg(size);
            }
        } else if (concept == Concept::FullName) {
            if (size == 2) {
                keys[run.members[0]] = nameKey(Concept::FamilyName, readings[run.members[0]].script);
                keys[run.members[1]] = nameKey(Concept::GivenName, readings[run.members[1]].script);
                notes[run.members[0]] = QStringLiteral(", box 1 of 2");
                notes[run.members[1]] = QStringLiteral(", box 2 of 2");
            }
        } else {
            // Birth: era, year, month, day in this order wherever the controls themselves do not say.
            QVector<Concept> order;
            bool hasEra = false;
            for (int i : run.members) {
                hasEra = hasEra || readings[i].concept == Concept::Era;
            }
            order = hasEra ? QVector<Concept>{Concept::Era, Concept::EraYear, Concept::Month, Concept::Day}
                           : QVector<Concept>{Concept::Year, Concept::Month, Concept::Day};
            const bool positional = size == order.size();
            if (size == 1 && readings[run.members.first()].concept == Concept::BirthAny) {
                readings[run.members.first()].concept = Concept::BirthDate; // 生年月日 in one box
            }
            for (int p = 0; p < size; ++p) {
                Reading &r = readings[run.members[p]];
                if (hasEra && r.concept == Concept::Year && positional && p == 1) {
                    r.concept = Concept::EraYear; // a year beside an era select counts within the era
                }
                if (r.concept == Concept::BirthAny && positional) {
                    r.concept = order[p];
                    notes[run.members[p]] = QStringLiteral(", box %1 of %2").arg(p + 1).arg(size);
                }
            }
        }
    }

    for (int i : qAsConst(candidates)) {
        const Field &field = fields[i];
        Reading &r = readings[i];
        Decision &decision = decisions[i];
        QString key = keys[i];
        QString note = notes[i];
        if (key.isEmpty() && r.refusal.isEmpty()) {
            switch (r.concept) {
            case Concept::FamilyName:
            case Concept::GivenName:
            case Concept::FullName:
                if (isNumericType(field) || typeOf(field) == QStringLiteral("email")
                    || QStringList{"numeric", "decimal", "tel", "email"}.contains(inputModeOf(field))) {
                    r.refusal = QStringLiteral("type %1 for a name").arg(typeOf(field) + inputModeOf(field));
                } else {
                    key = nameKey(r.concept, r.script);
                }
                break;
            case Concept::Postal:
                if (r.part > 0) {
                    r.refusal = QStringLiteral("a lone box of a split postal code");
                    break;
                }
                key = joinedKey(field, QStringLiteral("zipcode"), {QStringLiteral("123-4567")},
                                {QStringLiteral("1234567")}, 8, 7, note);
                if (key.isEmpty()) {
                    r.refusal = QStringLiteral("no form of the postal code fits") + note;
                }
                break;
            case Concept::Phone:
                if (r.part > 0) {
                    r.refusal = QStringLiteral("a lone box of a split phone number");
                    break;
                }
                key = joinedKey(field, QStringLiteral("telephone"),
                                {QStringLiteral("03-1234-5678"), QStringLiteral("090-1234-5678")},
                                {QStringLiteral("0312345678"), QStringLiteral("09012345678")}, 13, 11, note);
                if (key.isEmpty()) {
                    r.refusal = QStringLiteral("no form of the phone number fits") + note;
                }
                break;
            case Concept::Pref:
                key = QStringLiteral("pref");
                break;
            case Concept::City:
                key = QStringLiteral("city");
                break;
            case Concept::Address1:
                key = QStringLiteral("address1");
                break;
            case Concept::Address2:
                key = QStringLiteral("address2");
                break;
            case Concept::Street:
                key = QStringLiteral("street");
                break;
            case Concept::Building:
                key = QStringLiteral("building");
                break;
            case Concept::AddressAny:
                if (r.part == 1) {
                    key = QStringLiteral("address1");
                } else if (r.part == 2) {
                    key = QStringLiteral("address2");
                } else {
                    r.refusal = QStringLiteral("which part of the address is unclear");
                }
                break;
            case Concept::Mail:
                key = QStringLiteral("mail");
                break;
            case Concept::UserID:
                key = QStringLiteral("userID");
                break;
            case Concept::BirthDate: {
                static const QRegularExpression eightDigits(QStringLiteral("^\\d{8}$"));
                const QString shown = field.placeholder.normalized(QString::NormalizationForm_KC).trimmed();
                if (shown.contains(QLatin1Char('/')) || shown.contains(QStringLiteral("年"))) {
                    r.refusal = QStringLiteral("date written in another form: ") + shown;
                } else if (field.maxLength == 8 || eightDigits.match(shown).hasMatch()) {
                    key = QStringLiteral("birthDate.digits");
                } else if (field.maxLength < 0 || field.maxLength >= 10) {
                    key = QStringLiteral("birthDate");
                } else {
                    r.refusal = QStringLiteral("maxlength too short for a date");
                }
                break;
            }
            case Concept::Year:
                key = QStringLiteral("year");
                break;
            case Concept::Month:
                key = QStringLiteral("month");
                break;
            case Concept::Day:
                key = QStringLiteral("day");
                break;
            case Concept::Era:
                key = QStringLiteral("birthEra");
                break;
            case Concept::EraYear:
                key = QStringLiteral("birthEraYear");
                break;
            case Concept::BirthAny:
                r.refusal = QStringLiteral("which part of the birth date is unclear");
                break;
            case Concept::None:
            case Concept::Ignore:
                break;
            }
        }
        if (key.isEmpty()) {
            decision.evidence = r.refusal.isEmpty() ? QStringLiteral("no evidence") : r.refusal;
            continue;
        }
        // Kana readings and Latin spellings exist for names only (and Latin for the address parts).
        if (r.script != Script::Unspecified && categoryOf(r.concept) != Category::Name
            && !(r.script == Script::Latin && categoryOf(r.concept) == Category::Address)) {
            decision.evidence = QStringLiteral("no reading stored for ") + r.evidence;
            continue;
        }
        if (inputLanguage == FieldMenu::English || r.script == Script::Latin) {
            static const QStringList latin{QStringLiteral("familyName"), QStringLiteral("lastName"),
                                           QStringLiteral("fullName"),   QStringLiteral("pref"),
                                           QStringLiteral("city"),       QStringLiteral("address1"),
                                           QStringLiteral("address2"),   QStringLiteral("building")};
            if (latin.contains(key)) {
                key += QLatin1Char('E');
            }
        }
        if (field.readOnly) {
            decision.evidence = QStringLiteral("read-only");
        } else if (field.disabled) {
            decision.evidence = QStringLiteral("disabled");
        } else if (isSelect(field) ? field.selectedIndex > 0 && field.selectedIndex < field.options.size()
                                         && !field.options[field.selectedIndex].value.isEmpty()
                                   : !field.value.isEmpty()) {
            decision.evidence = QStringLiteral("already filled");
        } else {
            decision.key = key;
            decision.evidence = r.evidence + note;
        }
    }
    return decisions;
}

} // namespace FieldRecognizer
