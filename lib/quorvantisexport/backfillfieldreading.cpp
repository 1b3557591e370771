#include "backfillfieldreading.h"

BackfillFieldReading::BackfillFieldReading(QObject *parent) : FieldReading(parent, false) {}

void BackfillFieldReading::update(FieldReading *reading)
{
    if (!reading)
        return;
    m_eField = reading->EField();
    m_hField = reading->HField();
    m_isPublic = reading->IsFieldReadingPublic();
    m_alarmState = reading->AlarmState();
    m_dateTime = reading->dateTime();
    timeChanged();
    m_sixMinAvg = reading->SixMinAvg();
    m_thirtyMinAvg = reading->ThirtyMinAvg();
}

FieldReading *BackfillFieldReading::forNext(FieldReading *next)
{
    if (next) {
        m_dateTime = next->dateTime();
        timeChanged();
    }
    return this;
}
