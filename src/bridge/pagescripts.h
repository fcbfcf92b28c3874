#pragma once

#include <QString>

// Every script the browser runs in a page. Texts are put between single quotes only after
// quoteForScript has escaped them, so what a page receives is exactly the text we meant.
namespace PageScripts {

// Escapes text for use inside a single-quoted script string literal.
QString quoteForScript(const QString &text);

// Run in the main frame whenever its script environment is reset: calls the bridge once with
// "test" and defines sendSignal(sender), which the inputs' click handlers call.
QString bridgeSetup();

// The onclick attribute given to every input: reports the input's identifier through the bridge.
QString clickHandler(const QString &identifier);

// Run on an input element ("this").
QString readValue();
QString assignValue(const QString &value);
QString insertAtSelection(const QString &value);
QString clearValue();

// insertAtSelection with a completion value: true when it ran, no value when the engine threw
// (as it does for fields whose type has no selection).
QString tryInsertAtSelection(const QString &value);

} // namespace PageScripts
