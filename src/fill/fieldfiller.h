#pragma once

#include "page/page.h"

#include <QObject>
#include <QString>

#include <functional>

class ProfileDocument;
class QAction;

// Fills a clicked control: owns the field menu while it is open and the input language it offers
// values in; writes the chosen value or command into the control and records the choice.
class FieldFiller : public QObject
{
    Q_OBJECT

public:
    // The menu opens over the page's widget; values and rules come from document.
    FieldFiller(Page &page, ProfileDocument &document, QObject *parent = nullptr);
    ~FieldFiller() override;

    // FieldMenu::Japanese or FieldMenu::English.
    int inputLanguage() const { return m_inputLanguage; }
    void setInputLanguage(int language) { m_inputLanguage = language; }

    // Runs the field menu at the mouse pointer for the control the user clicked, if it is of a text
    // type. Each entry triggered is reported with entryTriggered. At most one menu is open at a time.
    void openMenu(const PageControl &control);

    // Carries out a menu entry: writes its value into the control, or clears it, or converts its
    // width. Values and clearing are recorded for the page shown and saved.
    void apply(QAction *entry);

signals:
    void entryTriggered(QAction *entry);
    // The field of the menu's choice went with its page before the value could be written: nothing
    // was written or recorded.
    void choiceDropped();
    // この欄をまとめて入力 ▸ person on the control: the section it is in, from that person.
    void sectionFillRequested(qint64 control, int person);

private:
    // Runs use on the control the menu was opened for, or, when another page has replaced it, on the
    // one that now answers to its identifier; not at all when there is none.
    void withTarget(const QString &identifier, const std::function<void(const PageControl &)> &use);
    void convertWidth(const PageControl &control, const QString &marker);
    void insertValue(const PageControl &control, const QString &value, bool secret,
                     const std::function<void(bool)> &written);
    void targetLost();
    // The menu itself; withSection adds この欄をまとめて入力 (the control is in someone else's section).
    void showMenu(const PageControl &control, bool withSection);

    Page &m_page;
    ProfileDocument &m_document;
    int m_inputLanguage = 0;
    bool m_menuOpen = false;
    // The control whose menu is open, or was last.
    PageControl m_control;
    // The address of the page the control was clicked on.
    QString m_controlAddress;
};
