#pragma once

#include "message.h"
#include "quorvantis_global.h"

#include <atomic>

class DataEntry;

// Asks the instrument for one entry header of its header table.
class QUORVANTIS_EXPORT ReadHeader : public Message
{
    Q_OBJECT

public:
    static constexpr quint32 headerAreaStart = 0xF0000000u;
    static constexpr quint32 headerAreaEnd = 0xF0400000u;

    explicit ReadHeader(QObject *parent = nullptr);
    ReadHeader(ulong relativeAddress, QObject *parent = nullptr);
    ~ReadHeader() override;

    quint32 absoluteAddress() const { return m_address.load(); }

public slots:
    void setAbsoluteAddress(ulong address);
    void setRelativeAddress(ulong address);

    Message::ErrorCode write(Request *request, Device *device) override;
    Message::ErrorCode read(const Response *response, Device *device) override;

signals:
    void dataEntryRead(DataEntry *newDataEntry);

private slots:
    DataEntry *readDataEntry(const Response *response, Device *device);

private:
    // Set by the walk on the device thread, reset by a refresh on the UI thread.
    std::atomic<quint32> m_address;
};
