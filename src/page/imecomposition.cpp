#include "page/imecomposition.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QWidget>

namespace ImeComposition {

void end(QWidget *view)
{
    if (!view) {
        return;
    }
    QGuiApplication::inputMethod()->reset();
    // An event with neither preedit nor commit text makes the engine cancel the composition.
    QInputMethodEvent cancel;
    QCoreApplication::sendEvent(view, &cancel);
}

} // namespace ImeComposition
