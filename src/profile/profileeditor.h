#pragma once

class ProfileDocument;
class QWidget;

// Runs the 個人情報入力 dialog over the document's personal values. Owns nothing: the dialog lives
// for one run, the values stay with the document.
namespace ProfileEditor {

// Every way of closing the dialog but its Cancel button keeps the edits: the dialog's copy then
// replaces the document's values as a whole and is saved.
void run(QWidget *parent, ProfileDocument &document);

} // namespace ProfileEditor
