#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// Writes the profile document as QJsonDocument::toJson(Indented) does, byte for byte, while keeping
// the text of every recorded page: a save after a choice encodes only the page that changed, not
// all the pages the user ever filled in. A kept text is used only while the page's rules equal
// the ones it was made from.
class DocumentWriter
{
public:
    QByteArray write(const QJsonObject &root);

private:
    void writeSites(QByteArray &out, const QJsonObject &sites);
    void keepPages(const QJsonObject &sites, const QByteArray &text);

    // A page's member text: length bytes at offset in source, which may hold other pages too.
    struct PageText
    {
        QJsonValue rules;
        QByteArray source;
        int offset = 0;
        int length = 0;
    };
    QHash<QString, PageText> m_pages;
    int m_lastSize = 0;
};
