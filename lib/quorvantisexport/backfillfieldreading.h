#pragma once

#include "fieldreading.h"
#include "quorvantisexport_global.h"

// Holds the previous reading's values while a session is written, so that each
// new reading can be preceded by a row at its own time with the old values:
// the same step shape the plots draw.
class QUORVANTISEXPORT_EXPORT BackfillFieldReading : public FieldReading
{
    Q_OBJECT

public:
    explicit BackfillFieldReading(QObject *parent = nullptr);

    void update(FieldReading *reading);
    FieldReading *forNext(FieldReading *next);
};
