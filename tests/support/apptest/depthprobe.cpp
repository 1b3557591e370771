#include "depthprobe.h"

#include <QVariant>

DepthProbe::DepthProbe(QObject *stack) : m_stack(stack) {}

void DepthProbe::record()
{
    seen.append(m_stack->property("depth").toInt());
}
