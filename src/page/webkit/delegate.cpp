#include "page/webkit/delegate.h"

Delegate::Delegate(QObject *parent)
    : QObject(parent)
{
}

void Delegate::send(const QString &sender)
{
    emit doSignal(sender);
}
