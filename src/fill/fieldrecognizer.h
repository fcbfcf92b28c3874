#pragma once

#include "fill/selectmatcher.h"
#include "page/pagecontrol.h"

#include <QString>
#include <QVector>

// Decides, for each control of a form, which profile value (stored or derived key) belongs in it,
// from what the page says about the control. The words, tokens and weights it goes by are data
// (recognition.json, described in recognition.md); this is the engine that weighs them.
// Window-free: the page is read elsewhere.
namespace FieldRecognizer {

// One form control as the page describes it. Texts are as found; the recognizer folds them.
using Field = PageControl;

struct Decision
{
    QString key; // the profile key to fill in, stored or derived; empty to leave the control alone
    QString evidence; // what decided, for a debug line
    // Radio buttons: the key's value picks the button, the others of its group stay as they are.
    bool check = false;
    // Where the form is split into sections: the section's number within the page (-1: not split).
    int section = -1;
    // Another person's section: who it is about ("emergency", "guarantor", "spouse", "child",
    // "insured"), empty when nothing says or when the section is not another person's.
    QString party;
    // The box asks for a relationship (続柄).
    bool relationBox = false;

    bool fills() const { return !key.isEmpty(); }
};

// What the recognizer may know of the values themselves.
struct Hints
{
    // The stored phone number is a mobile one (070, 080, 090): with a home and a mobile row it
    // goes into the mobile one.
    bool mobilePhone = false;
    // Controls labelled in Latin letters alone make a page without headings English. Off for the
    // Japanese values an English fill falls back to.
    bool latinLabelsMakeEnglish = true;
    // Off: the sections of other people and places get the keys they would take were they the
    // user's, for filling them from someone else's values.
    bool leaveOthersSections = true;
};

// One decision per field, in the same order. Fields must be given in document order: split postal
// codes, phone numbers, birth dates and addresses are recognised across neighbours. inputLanguage
// is FieldMenu::InputLanguage: in English the Latin-letter keys (suffix E) are chosen where they
// exist; a page written in English alone gets them too.
QVector<Decision> recognize(const QVector<Field> &fields, int inputLanguage, const Hints &hints = Hints());

// The group of a relationship ("spouse" for 夫, "child" for 長女, …); empty for one the words do not
// know.
QString relationGroup(const QString &relation);
// The relationships of a group, most general first.
QStringList relationsOf(const QString &group);

} // namespace FieldRecognizer
