#pragma once

#include <QObject>

// The object a page's scripts see as "delegate": its one signal carries the identifier of the
// clicked input to the main window. Scripts may call doSignal or send; both emit doSignal.
class Delegate : public QObject
{
    Q_OBJECT
public:
    explicit Delegate(QObject *parent = nullptr);

signals:
    void doSignal(const QString &sender);

public:
    Q_INVOKABLE void send(const QString &sender);
};
