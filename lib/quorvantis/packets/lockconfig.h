#pragma once

#include "message.h"
#include "quorvantis_global.h"

// Command 3: locks or unlocks the instrument's configuration memory. No reply.
class QUORVANTIS_EXPORT LockConfig : public Message
{
    Q_OBJECT

public:
    explicit LockConfig(bool lock, QObject *parent = nullptr);
    ~LockConfig() override;

    bool lock() const { return m_lock; }

public slots:
    void setLock(bool lock) { m_lock = lock; }
    ErrorCode write(Request *request, Device *device) override;

private:
    bool m_lock;
};
