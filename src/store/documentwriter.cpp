#include "store/documentwriter.h"

#include <QJsonDocument>

#include <algorithm>
#include <cstring>

namespace {

const QString sitesMember = QStringLiteral("sites");

// One member as the indented form writes it inside an object nested depth levels deep (1 for the
// top-level object's own members), without the separator that follows it. Line breaks in that form
// are all structural (strings carry theirs escaped) and every line starts with four spaces per
// level, so moving a member deeper only means indenting each line further.
QByteArray memberText(const QString &key, const QJsonValue &value, int depth)
{
    const QByteArray document = QJsonDocument(QJsonObject{{key, value}}).toJson(QJsonDocument::Indented);
    // Between the document's "{\n" and "\n}\n".
    QByteArray text = document.mid(2, document.size() - 5);
    if (depth > 1) {
        const QByteArray indent(4 * (depth - 1), ' ');
        text.replace('\n', QByteArray('\n' + indent));
        text.prepend(indent);
    }
    return text;
}

// Rules whose equal is sure to be written the same way: an object of strings, which is what choices
// record. Whether equal numbers are always written alike is the JSON library's business, and other
// shapes are too rare to be worth keeping.
bool reusable(const QJsonValue &rules)
{
    if (!rules.isObject()) {
        return false;
    }
    const QJsonObject object = rules.toObject();
    return std::all_of(object.constBegin(), object.constEnd(),
                       [](const QJsonValue &value) { return value.isString(); });
}

} // namespace

QByteArray DocumentWriter::write(const QJsonObject &root)
{
    QByteArray out;
    out.reserve(m_lastSize + 4096);
    out += "{\n";
    bool wroteSites = false;
    for (auto it = root.constBegin(); it != root.constEnd();) {
        const QJsonValue value = it.value();
        if (it.key() == sitesMember && value.isObject() && !value.toObject().isEmpty()) {
            writeSites(out, value.toObject());
            wroteSites = true;
        } else {
            out += memberText(it.key(), value, 1);
        }
        out += ++it == root.constEnd() ? "\n" : ",\n";
    }
    if (!wroteSites) {
        m_pages.clear();
    }
    out += "}\n";
    m_lastSize = out.size();
    return out;
}

void DocumentWriter::writeSites(QByteArray &out, const QJsonObject &sites)
{
    if (m_pages.isEmpty()) {
        // The first save of a run: one pass of the JSON library over all pages is much faster than
        // a pass per page, and its text is then kept page by page.
        const QByteArray text = memberText(sitesMember, sites, 1);
        out += text;
        keepPages(sites, text);
        return;
    }
    out += "    \"sites\": {\n";
    // Pages no longer in the document drop out of the kept texts.
    QHash<QString, PageText> kept;
    kept.reserve(sites.size());
    for (auto it = sites.constBegin(); it != sites.constEnd();) {
        const QString address = it.key();
        const QJsonValue rules = it.value();
        const auto previous = m_pages.constFind(address);
        if (previous != m_pages.constEnd() && previous->rules == rules) {
            // Only reusable rules are kept, and what equals them is reusable too.
            out.append(previous->source.constData() + previous->offset, previous->length);
            kept.insert(address, *previous);
        } else {
            const QByteArray text = memberText(address, rules, 2);
            out += text;
            if (reusable(rules)) {
                kept.insert(address, {rules, text, 0, text.size()});
            }
        }
        out += ++it == sites.constEnd() ? "\n" : ",\n";
    }
    m_pages.swap(kept);
    out += "    }";
}

void DocumentWriter::keepPages(const QJsonObject &sites, const QByteArray &text)
{
    // Each page's member starts a line with eight spaces and a quote, which no deeper line does;
    // it ends before the ",\n" ahead of the next page, or before the "\n    }" closing "sites".
    static const char memberStart[] = "\n        \"";
    const int startLength = int(sizeof memberStart) - 1;
    const char *const data = text.constData();
    const char *const end = data + text.size();
    QList<int> starts;
    starts.reserve(sites.size() + 1);
    for (const char *line = data; (line = static_cast<const char *>(memchr(line, '\n', end - line)));
         ++line) {
        if (end - line > startLength && memcmp(line, memberStart, startLength) == 0) {
            starts.append(int(line - data) + 1);
        }
    }
    if (starts.size() != sites.size()) {
        // Not the layout expected: keep nothing rather than texts of the wrong pages.
        return;
    }
    starts.append(text.lastIndexOf('\n') + 2);
    int index = 0;
    for (auto it = sites.constBegin(); it != sites.constEnd(); ++it, ++index) {
        if (reusable(it.value())) {
            m_pages.insert(it.key(),
                           {it.value(), text, starts[index], starts[index + 1] - starts[index] - 2});
        }
    }
}
