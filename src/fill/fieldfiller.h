#pragma once

#include <QObject>
#include <QString>

class ClickGate;
class PageBridge;
class ProfileDocument;
class QAction;
class QWebElement;
class QWebView;

// Fills a clicked input: owns the field menu while it is open and the input language it offers
// values in; writes the chosen value or command into the field and records the choice.
class FieldFiller : public QObject
{
    Q_OBJECT

public:
    // The menu opens over view; inputs are found through bridge, values and rules in document.
    FieldFiller(QWebView *view, const PageBridge &bridge, ProfileDocument &document,
                QObject *parent = nullptr);
    ~FieldFiller() override;

    // FieldMenu::Japanese or FieldMenu::English.
    int inputLanguage() const { return m_inputLanguage; }
    void setInputLanguage(int language) { m_inputLanguage = language; }

    // Runs the field menu for the input at the mouse pointer, if it is registered and of a text type.
    // Each entry triggered is reported with entryTriggered. At most one menu is open at a time.
    void openMenu(const QString &identifier);

    // Carries out a menu entry: writes its value into the field, or clears it, or converts its width.
    // Values and clearing are recorded for the page shown and saved.
    void apply(QAction *entry);

signals:
    void entryTriggered(QAction *entry);

private:
    void convertWidth(QWebElement &element, const QString &marker);
    void insertValue(QWebElement &element, const QString &value, bool secret);

    QWebView *m_view;
    const PageBridge &m_bridge;
    ProfileDocument &m_document;
    int m_inputLanguage = 0;
    bool m_menuOpen = false;
    // Lets only the user's own clicks open the menu; owned by the view it watches.
    ClickGate *m_clickGate;
};
