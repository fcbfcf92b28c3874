#pragma once

#include <QString>
#include <QVariant>

// Every script the browser runs in a page. Texts are put between single quotes only after
// quoteForScript has escaped them, so what a page receives is exactly the text we meant.
namespace PageScripts {

// The typing function of typing.js: (function(f,t,how){...}), for calls on a control.
QString typing();
// The watcher of watcher.js: (function(report){...}), installed with every page.
QString watcher();
// The page script of pagescript.js: (function(type,watcher,settings){...}), which answers the object
// the browser works through in a page.
QString pageScript();

// The bootstrap of bootstrap.js: (function(makeWatcher,token,connect,settings){...}), which sets
// a document up for the browser with either engine.
QString bootstrap();

// The expression that sets a document up through the bootstrap, with the watcher: its value is the
// watcher's frozen object. token and connect are script expressions (see bootstrap.js).
QString setUpDocument(const QString &token, const QString &connect, const QVariantMap &settings = {});

// The expression that installs the page script through the watcher's object watch (an expression),
// naming token (an expression): true once it is there.
QString installPageScript(const QString &watch, const QString &token, const QVariantMap &settings = {});

// Escapes text for use inside a single-quoted script string literal.
QString quoteForScript(const QString &text);

// A value (text, number, list, map) as a script literal: JSON, with the two line separators that
// would end a line in a script string escaped.
QString literal(const QVariant &value);

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

// Writing the way typing does (see typing.js), run on a field ("this"). The completion value is true.

// The field's whole value becomes value.
QString typeValue(const QString &value);
// value replaces the selection or goes in at the caret (setRangeText); in a field whose type has
// no selection it becomes the whole value.
QString typeAtSelection(const QString &value);

// The same events around a write made by another script: run beforeTyping, the write, then
// afterTyping. The write's own completion value is kept. Both scripts are the same text every time,
// so the engine compiles them once; with setNativeValue as the write this is the cheaper way to
// write many fields (a refill) than typeValue, whose text changes with every value.
QString beforeTyping();
QString afterTyping();

// typeValue on a field that is still empty; a field holding text is left as it is. The completion
// value is [whether it typed, the field's value afterwards]: one call per field for a whole form.
QString typeValueIfEmpty(const QString &value);

// Run on a <select>: the index of its selected option, -1 when none is.
QString readSelectedIndex();

// Only the write of typeValue, without events: the native setter of the element's prototype.
QString setNativeValue(const QString &value);

} // namespace PageScripts
