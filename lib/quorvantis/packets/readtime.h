#pragma once

#include "quorvantis_global.h"
#include "usertrigger.h"

#include <QDateTime>
#include <atomic>

// User trigger 2 without parameters: reads the instrument's clock and how far
// it is ahead of the host (milliseconds, negative when behind).
class QUORVANTIS_EXPORT ReadTime : public UserTrigger
{
    Q_OBJECT
    Q_PROPERTY(qint64 timeDifference READ timeDifference NOTIFY timeDifferenceChanged)

public:
    explicit ReadTime(QObject *parent = nullptr);
    ~ReadTime() override;

    qint64 timeDifference() const { return m_timeDifference.load(); }

public slots:
    ErrorCode read(const Response *response, Device *device) override;

signals:
    void timeAvailable(QDateTime time);
    void timeDifferenceChanged();

protected:
    void setTimeDifference(qint64 difference);

private:
    std::atomic<qint64> m_timeDifference{0};
};
