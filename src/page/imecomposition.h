#pragma once

class QWidget;

// An input method composition still open in the focused field of a web view. Page scripts cannot
// end one: the engine keeps the composition across a value set by script, and the input method's
// next text then replaces the value that was written. Ending it is a matter for the view.
namespace ImeComposition {

// Ends any composition open in the view: the platform input method forgets its text, and the
// engine drops its uncommitted text and tells the page (compositionend, input). The field's
// committed text stays. Does nothing when no composition is open.
void end(QWidget *view);

} // namespace ImeComposition
