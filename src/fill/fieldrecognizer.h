#pragma once

#include "fill/selectmatcher.h"
#include "page/pagecontrol.h"

#include <QString>
#include <QVector>

// Decides, for each control of a form, which profile value (stored or derived key) belongs in it,
// from what the page says about the control. Window-free: the page is read elsewhere.
namespace FieldRecognizer {

// One form control as the page describes it. Texts are as found; the recognizer folds them.
using Field = PageControl;

struct Decision
{
    QString key; // the profile key to fill in, stored or derived; empty to leave the control alone
    QString evidence; // what decided, for a debug line

    bool fills() const { return !key.isEmpty(); }
};

// One decision per field, in the same order. Fields must be given in document order: split postal
// codes, phone numbers and birth dates are recognised across neighbours. inputLanguage is
// FieldMenu::InputLanguage: in English the Latin-letter keys (suffix E) are chosen where they exist.
QVector<Decision> recognize(const QVector<Field> &fields, int inputLanguage);

} // namespace FieldRecognizer
