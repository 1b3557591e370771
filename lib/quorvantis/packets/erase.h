#pragma once

#include "quorvantis_global.h"
#include "usertrigger.h"

// User trigger 1: erases every recording. No reply; the instrument restarts,
// so the device drops the connection as soon as the request is out.
class QUORVANTIS_EXPORT Erase : public UserTrigger
{
    Q_OBJECT
    QML_ELEMENT

public:
    explicit Erase(QObject *parent = nullptr);
    ~Erase() override;

public slots:
    void onSent(Device *device) override;
};
