#pragma once

#include "message.h"
#include "quorvantis_global.h"

#include <cstdint>

// Command 10: an action of the instrument's own, named by a 32-bit identifier
// (request bytes 2-5, echoed in reply bytes 1-4) with up to 18 parameter bytes.
class QUORVANTIS_EXPORT UserTrigger : public Message
{
    Q_OBJECT

public:
    static constexpr uchar MaximumParameters = 18;

    explicit UserTrigger(uint trigger, QObject *parent = nullptr);
    UserTrigger(uint trigger, bool expectsResponse, QObject *parent = nullptr);
    ~UserTrigger() override;

    uint trigger() const { return m_trigger; }

    // A reply echoes the identifier of the trigger it answers.
    bool isReplyTo(const Request *request, const Response *response) const override;

public slots:
    ErrorCode write(Request *request, Device *device) override;
    ErrorCode read(const Response *response, Device *device) override;

protected:
    ErrorCode writeParameters(Request *request, const uint8_t *parameters, uchar count);

    // Reply layout: identifier echo, then the data count and the data.
    static quint32 replyTrigger(const Response *response) { return response->uint32LE(1); }
    static uchar replyDataCount(const Response *response) { return (*response)[6]; }
    static constexpr int ReplyData = 7;

private:
    uint m_trigger;
};

Q_DECLARE_METATYPE(UserTrigger *)
