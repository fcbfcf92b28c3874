#pragma once

#include "page/pagecontrol.h"

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <functional>

class QDialog;
class QMenu;
class QWidget;
class QWebElement;
class QWebView;

namespace TestSupport {

// Makes a fresh temporary directory the current one for the object's lifetime: the browser reads
// and writes only there.
class WorkDir
{
public:
    WorkDir();
    ~WorkDir();
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;
    // Copies a file of the demo folder in the source tree into this directory.
    void copyDemoFile(const QString &name) const;

private:
    QString m_previous;
    QTemporaryDir m_dir;
};

// The whole document last saved in dir's profile.json; empty when there is none.
QJsonObject savedDocument(const WorkDir &dir);

// Files may grow to limit bytes while it lives; writing past that fails as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 limit);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    bool active() const { return m_active; }

private:
    quint64 m_previousSoft = 0;
    void (*m_previousHandler)(int) = nullptr;
    bool m_active = false;
};

// Collects the messages written to Qt's message stream while it lives, one string per message.
class MessageLog
{
public:
    MessageLog();
    ~MessageLog();
    QStringList lines() const;
    QStringList debugLines() const;
    QStringList warnings() const;
    int count(const QString &line) const { return lines().count(line); }
    bool contains(const QString &text) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QtMessageHandler m_previous;
};

// Text as an HTML attribute value in which every character is a character reference, so that the
// parser hands the page exactly this text.
QString attributeText(const QString &text);

// Loads html with the given base address into the view and waits until the load has finished.
bool loadHtml(QWebView *view, const QString &html, const QString &baseUrl);
// Navigates the view and waits for the load to finish; returns the load's result.
bool loadUrl(QWebView *view, const QString &url);

// The controls of the page in the view, as the fill code sees them.
QVector<PageControl> scanControls(QWebView *view);

// The element of the view's main frame that the CSS selector finds first.
QWebElement element(QWebView *view, const QString &selector);
// The field's current value, as scripts see it.
QString fieldValue(QWebView *view, const QString &selector);
// A real mouse click in the middle of the element.
void click(QWebView *view, const QString &selector);

// Runs action on the next popup menu that opens, from inside its event loop. The menu is closed
// afterwards if the action left it open. A watch ends with the test function that set it.
void onNextMenu(std::function<void(QMenu *)> action);
// The same for the next modal dialog; it is rejected afterwards if the action left it open.
void onNextDialog(std::function<void(QDialog *)> action);
// Types text into the widget the way it arrives: key by key for ASCII, committed by the input
// method for Japanese.
void type(QWidget *widget, const QString &text);
// Chooses the menu entry with this text the way a user does: highlights it and presses Return.
void choose(QMenu *menu, const QString &text);
// The texts of the menu's entries, in order.
QStringList entryTexts(const QMenu *menu);

// Clicks the field and chooses the menu entry whose text starts with prefix; returns the texts of
// the menu that opened (empty when none did).
QStringList clickAndChoose(QWebView *view, const QString &selector, const QString &prefix);

} // namespace TestSupport
