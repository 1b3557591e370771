#pragma once

#include "quorvantis_global.h"
#include "usertrigger.h"

#include <atomic>

// User trigger 8: whether the unit is a public one (values then read against
// the public exposure limit).
class QUORVANTIS_EXPORT ReadIsPublic : public UserTrigger
{
    Q_OBJECT

public:
    explicit ReadIsPublic(QObject *parent = nullptr);
    ~ReadIsPublic() override;

    // Any identifier: another one than this trigger's is the instrument's way
    // of saying it is no public unit.
    bool isReplyTo(const Request *request, const Response *response) const override;

    bool readIsPublic() const { return m_readIsPublic.load(); }

public slots:
    ErrorCode read(const Response *response, Device *device) override;

private:
    std::atomic<bool> m_readIsPublic{false};
};
