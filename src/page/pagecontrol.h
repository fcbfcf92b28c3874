#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <QtGlobal>

// One form control of a page as the page script reads it: everything the fill code may go by,
// whatever engine shows the page. Texts are as found (white space folded, at most 80 characters);
// the recognizer folds them further.
struct PageControl
{
    struct Option
    {
        QString text; // as shown
        QString value; // the option's value (its text when it has no value attribute)
    };

    // Stands for the control for as long as its document is shown; 0 for none. A handle of an
    // earlier document reaches nothing.
    qint64 handle = 0;
    // Empty for the main frame; else the same-origin frames' keys from the top, joined by "/".
    QString frame;
    // What the control is known by: its id, else its name, else a generated one ("unknown3"); in a
    // frame, prefixed with the frame ("order/email"). Empty when there is nothing to know it by.
    QString identifier;
    // Whether rules recorded under the identifier fill this control: false when a later control of
    // the page answers to the same identifier.
    bool ownsIdentifier = false;
    // Whether rules recorded under its name fill it too (inputs and selects): it is the last control
    // of the page with that name.
    bool ownsName = false;
    // The enclosing form ("frame:index"), empty outside any form.
    QString form;

    QString tag; // "INPUT", "SELECT" or "TEXTAREA"
    QString type; // the type attribute as written; empty for an input without one and for selects
    QString htmlType; // the type as HTML understands it: "text" for a missing or unknown one
    QString name;
    QString id;
    QString autocomplete;
    QString label; // from <label for>, or the <label> around the control
    QString labelledBy; // the texts of the elements aria-labelledby names
    QString title;
    QString textBefore; // the text right before the control in its container ("姓", "〒", "-")
    QString textAfter; // the text right after the control in its container ("ハイフン不要")
    QString rowLabel; // the row's heading: its <th>, the preceding cell or <dt>
    QString legend; // the enclosing <fieldset>'s legend
    QString heading; // the nearest heading (h1–h6) before the control
    QString placeholder;
    QString ariaLabel;
    int maxLength = -1; // -1: none
    QString pattern;
    QString inputMode;
    QString value; // the current value
    bool readOnly = false;
    bool disabled = false;
    // Whether the user can see it: not hidden by style, attribute or a closed <details>, not
    // transparent, not off the page, not clipped away, with a box of some size.
    bool visible = true;
    QVector<Option> options; // selects only
    int selectedIndex = -1; // selects only
    bool checked = false; // radio buttons and check boxes
    // The titled containers around the control (fieldsets, cards, tables, groups with a heading),
    // outermost first: a key that tells them apart within a scan, and each one's title.
    QStringList blockKeys;
    QStringList blockTitles;
    QString column; // the header of its table column, when the table's first row heads the columns
    QString rowGroup; // the text of a <th rowspan> spanning its row, else of a caption row above it
    bool headingOutside = false; // the heading stands before its form: the page's, not a part's

    // A record as the page script answers it (a map of the members above, options as [text, value]
    // pairs); the script's handle is combined with handleBase, which tells its document.
    static PageControl fromVariant(const QVariant &record, qint64 handleBase);
    static QVector<PageControl> listFromVariant(const QVariant &records, qint64 handleBase);
    // A select's options as the page script answers them: [text, value] pairs.
    static QVector<Option> optionsFromVariant(const QVariant &options);

    // Whether an input of this type attribute takes typed text (compared exactly, case included):
    // text, search, tel, url, email, password and number.
    static bool typedType(const QString &type);
};
