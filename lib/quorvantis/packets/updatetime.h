#pragma once

#include "quorvantis_global.h"
#include "usertrigger.h"

// User trigger 2 with six parameter bytes: sets the instrument's clock to the
// host's UTC time plus 3 seconds.
class QUORVANTIS_EXPORT UpdateTime : public UserTrigger
{
    Q_OBJECT

public:
    static constexpr int LeadSeconds = 3;

    explicit UpdateTime(QObject *parent = nullptr);
    ~UpdateTime() override;

public slots:
    ErrorCode write(Request *request, Device *device) override;
    ErrorCode read(const Response *response, Device *device) override;

signals:
    void timeUpdated();
};
