#pragma once

#include <QUrl>

// Requests for a new window load in the one view, replacing what it shows: only what the page shown
// may ask for.
namespace NewWindow {

// Whether a request for a new window showing address may replace shown: the document that asked
// (opener) is of the same site as shown (an advertisement in a frame of another site may not take
// the user away from a form), and the address is none the page could not load itself at the top
// (a local file, data, a script).
bool allowed(const QUrl &address, const QUrl &opener, const QUrl &shown);

} // namespace NewWindow
