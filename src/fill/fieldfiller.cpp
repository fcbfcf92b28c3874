#include "fill/fieldfiller.h"

#include "fill/fieldmenu.h"
#include "fill/fieldrecognizer.h"
#include "logging.h"
#include "store/profiledocument.h"
#include "text/widthconversion.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QScopedValueRollback>

namespace {

// A password field's text (the type in any case), a secret value wherever it goes and any text
// holding a stored secret are written to the log as asterisks of the same length.
QVariant forLog(const PageControl &control, const QVariant &text, bool secret = false)
{
    const auto password = [](const QString &type) {
        return type.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0;
    };
    if (secret || password(control.type) || password(control.htmlType)
        || Logging::holdsSecret(text.toString())) {
        return QString(text.toString().size(), QLatin1Char('*'));
    }
    return text;
}

} // namespace

FieldFiller::FieldFiller(Page &page, ProfileDocument &document, QObject *parent)
    : QObject(parent)
    , m_page(page)
    , m_document(document)
    , m_inputLanguage(FieldMenu::Japanese)
{
}

FieldFiller::~FieldFiller() = default;

void FieldFiller::openMenu(const PageControl &control)
{
    if (m_menuOpen) {
        // Page scripts keep running while the menu is open; a page calling the bridge from a timer
        // must not stack menus on the user.
        return;
    }
    if (control.tag != QLatin1String("INPUT")
        || !FieldMenu::acceptsType(m_page.literalTypes() ? control.type : control.htmlType)) {
        return;
    }
    m_control = control;
    m_controlAddress = m_page.address();
    if (m_document.people().isEmpty()) {
        showMenu(control, false);
        return;
    }
    // Whose section the control is in decides whether its section can be filled from a person. A scan
    // whose page has gone never answers, so nothing waits on it: a later click simply wins.
    const Page::Handle handle = control.handle;
    m_page.scan([this, control, handle](const QVector<PageControl> &scanned) {
        if (m_menuOpen || m_control.handle != handle) {
            return;
        }
        const QVector<FieldRecognizer::Decision> decisions =
            FieldRecognizer::recognize(scanned, m_inputLanguage);
        bool others = false;
        for (int i = 0; i < scanned.size(); ++i) {
            others = others || (scanned[i].handle == handle && !decisions[i].party.isEmpty());
        }
        showMenu(control, others);
    });
}

void FieldFiller::showMenu(const PageControl &control, bool withSection)
{
    QMenu menu(m_page.widget());
    const auto add = [](QMenu &to, const QVector<FieldMenu::Entry> &entries) {
        for (const FieldMenu::Entry &entry : entries) {
            to.addAction(entry.text)->setData(entry.record);
        }
    };
    add(menu, FieldMenu::valueEntries(control.identifier, m_document, m_inputLanguage));
    // The people's values come after the user's own, so that the user's stay where they always were.
    const QVector<FieldMenu::PersonMenu> people =
        FieldMenu::personMenus(control.identifier, m_document, m_inputLanguage);
    for (const FieldMenu::PersonMenu &person : people) {
        QMenu *submenu = menu.addMenu(person.title);
        add(*submenu, person.entries);
        submenu->setEnabled(!person.entries.isEmpty());
    }
    if (withSection) {
        QMenu *section = menu.addMenu(tr("この欄をまとめて入力"));
        for (int p = 0; p < m_document.people().size(); ++p) {
            section->addAction(FieldMenu::personTitle(m_document.people()[p]))
                ->setData(QVariantMap{{FieldMenu::elementField, control.identifier},
                                      {FieldMenu::keyField, FieldMenu::sectionMarker},
                                      {FieldMenu::personField, p}});
        }
    }
    add(menu, FieldMenu::commandEntries(control.identifier));
    menu.move(QCursor::pos());
    connect(&menu, &QMenu::triggered, this, &FieldFiller::entryTriggered);
    const QScopedValueRollback<bool> open(m_menuOpen, true);
    menu.exec();
}

void FieldFiller::apply(QAction *entry)
{
    const QVariantMap record = entry->data().toMap();
    qCDebug(lcFill) << "on_profileSelected(" << record.value(FieldMenu::keyField) << ")";
    const QString identifier = record.value(FieldMenu::elementField).toString();
    const QString key = record.value(FieldMenu::keyField).toString();
    const QString value = record.value(FieldMenu::valueField).toString();
    // Looked up now: the page may have changed while the menu was open.
    withTarget(identifier, [this, identifier, key, value, record](const PageControl &control) {
        // An open composition would cover what is written, and the input method's next text replace it.
        m_page.endComposition();
        if (key == FieldMenu::sectionMarker) {
            emit sectionFillRequested(control.handle, record.value(FieldMenu::personField).toInt());
            return;
        }
        if (key == FieldMenu::toFullWidthMarker || key == FieldMenu::toHalfWidthMarker) {
            convertWidth(control, key);
            return;
        }
        // Recorded for the page the field was clicked on, once the field has taken the value: the
        // page may go while a secret is read.
        const QString address = m_controlAddress;
        const auto record = [this, address, identifier, key](bool written) {
            if (!written) {
                targetLost();
            } else if (!identifier.isEmpty()) {
                m_document.recordChoice(address, identifier, key);
            }
        };
        if (key == FieldMenu::clearMarker) {
            m_page.write({{control.handle, QString(), Page::How::Replace}},
                         [record](const QVector<Page::State> &states) { record(states.value(0).found); });
        } else {
            // A secret is read now, perhaps from the secret store: the menu showed only dots.
            const bool secret =
                FieldMenu::isSecret(key, m_document.secretKeys()) || m_document.waitsForSecret(key);
            insertValue(control, secret ? m_document.readValue(key).value_or(QString()) : value, secret,
                        record);
        }
    });
}

// Only the field the menu was opened for takes the choice: when its document has gone, another page's
// field of the same identifier, perhaps of another site, gets nothing.
void FieldFiller::withTarget(const QString &identifier, const std::function<void(const PageControl &)> &use)
{
    if (identifier != m_control.identifier || !m_control.handle) {
        return;
    }
    const PageControl clicked = m_control;
    m_page.read({clicked.handle}, [this, clicked, use](const QVector<Page::State> &states) {
        if (states.value(0).found) {
            use(clicked);
        } else {
            targetLost();
        }
    });
}

void FieldFiller::targetLost()
{
    qCDebug(lcFill) << "the field is gone: nothing written";
    emit choiceDropped();
}

void FieldFiller::convertWidth(const PageControl &control, const QString &marker)
{
    const bool toFull = marker == FieldMenu::toFullWidthMarker;
    m_page.read({control.handle}, [this, control, toFull](const QVector<Page::State> &states) {
        const Page::State state = states.value(0);
        if (!state.found) {
            return;
        }
        const QString oldText = state.value;
        const QString newText =
            toFull ? WidthConversion::toFullWidth(oldText) : WidthConversion::toHalfWidth(oldText);
        // Both sides or neither: one would tell the other.
        const bool secret = Logging::holdsSecret(oldText) || Logging::holdsSecret(newText);
        if (toFull) {
            qCDebug(lcFill) << forLog(control, QVariant(oldText), secret);
        }
        qCDebug(lcFill) << "[" << forLog(control, oldText, secret).toString() << "] → ["
                        << forLog(control, newText, secret).toString() << "]";
        m_page.write({{control.handle, newText, Page::How::Replace}}, [](const QVector<Page::State> &) {});
    });
}

// Every write goes the way typing does, so that pages keeping their own state take it.
void FieldFiller::insertValue(const PageControl &control, const QString &value, bool secret,
                              const std::function<void(bool)> &written)
{
    // An e-mail address replaces what is there; elsewhere the value goes in at the selection.
    const QString type = m_page.literalTypes() ? control.type : control.htmlType;
    const Page::How how = type == QLatin1String("email") ? Page::How::Replace : Page::How::AtSelection;
    m_page.write({{control.handle, value, how}},
                 [control, secret, written](const QVector<Page::State> &states) {
                     if (states.value(0).found) {
                         qCDebug(lcFill) << forLog(control, QVariant(states.value(0).value), secret);
                     }
                     written(states.value(0).found);
                 });
}
