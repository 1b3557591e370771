#pragma once

#include "message.h"
#include "quorvantis_global.h"

// The extended query reply, kept whole. Bytes 1-4: bootloader minor, major,
// firmware minor, major.
struct ExtendedQueryInfo : ReportBuffer
{
};

// Command 12: bootloader and firmware versions.
class QUORVANTIS_EXPORT ExtendedInfo : public Message
{
    Q_OBJECT
    Q_PROPERTY(const ExtendedQueryInfo *extendedInfo READ extendedInfo NOTIFY extendedInfoAvailable)

public:
    explicit ExtendedInfo(QObject *parent = nullptr);
    ~ExtendedInfo() override;

    const ExtendedQueryInfo *extendedInfo() const { return &m_extendedInfo; }

public slots:
    ErrorCode read(const Response *response, Device *device) override;

signals:
    void extendedInfoAvailable(const ExtendedQueryInfo *extendedInfo);

private:
    void setExtendedInfo(const ExtendedQueryInfo *extendedInfo);

    ExtendedQueryInfo m_extendedInfo;
};

Q_DECLARE_METATYPE(const ExtendedQueryInfo *)
