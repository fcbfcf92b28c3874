#pragma once

#include "fill/fieldrecognizer.h"

#include <QVector>
#include <QWebElement>

class QWebFrame;

// Reads the form controls of a loaded page into the descriptions the recognizer works on.
namespace FormScanner {

struct Control
{
    QWebElement element;
    FieldRecognizer::Field field;
};

// Every INPUT and SELECT of the frame's document, in document order (inputs of every type: the
// recognizer decides which it leaves alone).
QVector<Control> scan(QWebFrame *frame);

// The options of a <select>, in order: each one's text, and its value (its text when it has no value
// attribute).
QVector<SelectMatcher::Option> options(const QWebElement &select);

// Only the descriptions, in the same order, for FieldRecognizer::recognize.
QVector<FieldRecognizer::Field> fields(const QVector<Control> &controls);

} // namespace FormScanner
