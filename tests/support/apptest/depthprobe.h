#pragma once

#include <QList>
#include <QObject>

// The page stack's depth each time record() runs: connected to a signal, it
// shows the depth right after the shell's own reaction to that signal.
class DepthProbe : public QObject
{
    Q_OBJECT

public:
    explicit DepthProbe(QObject *stack);

    QList<int> seen;

public slots:
    void record();

private:
    QObject *m_stack;
};
