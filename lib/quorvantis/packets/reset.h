#pragma once

#include "message.h"
#include "quorvantis_global.h"

// Command 8: restarts the instrument. No reply; the instrument leaves the bus,
// so the device drops the connection as soon as the request is out.
class QUORVANTIS_EXPORT Reset : public Message
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit Reset(QObject *parent = nullptr);
    ~Reset() override;

public slots:
    void onSent(Device *device) override;
};
