#pragma once

#include "quorvantis_global.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>
#include <cstring>

class Device;
Q_MOC_INCLUDE("device.h")

// One 65-byte HID report: byte 0 is the report number in a request and the
// command echo in a reply. The engine zero-fills it before every use.
struct ReportBuffer
{
    static constexpr int Size = 65;

    uchar bytes[Size] = {};

    uchar &operator[](int index) { return bytes[index]; }
    const uchar &operator[](int index) const { return bytes[index]; }
    uchar *data() { return bytes; }
    const uchar *data() const { return bytes; }
    void clear() { std::memset(bytes, 0, Size); }

    // Multi-byte fields of the protocol are little-endian unless a command says otherwise.
    quint16 uint16LE(int index) const { return quint16(bytes[index] | bytes[index + 1] << 8); }
    quint16 uint16BE(int index) const { return quint16(bytes[index] << 8 | bytes[index + 1]); }
    quint32 uint32LE(int index) const
    {
        return quint32(bytes[index]) | quint32(bytes[index + 1]) << 8 |
               quint32(bytes[index + 2]) << 16 | quint32(bytes[index + 3]) << 24;
    }
    quint32 uint32BE(int index) const
    {
        return quint32(bytes[index]) << 24 | quint32(bytes[index + 1]) << 16 |
               quint32(bytes[index + 2]) << 8 | quint32(bytes[index + 3]);
    }
    void setUInt32LE(int index, quint32 value)
    {
        for (int i = 0; i < 4; ++i)
            bytes[index + i] = uchar(value >> (8 * i));
    }
};

struct Request : ReportBuffer
{
};

struct Response : ReportBuffer
{
};

// Base of every protocol packet: fills one request, takes one reply apart and
// reports its result through four hooks that default to its own signals.
class QUORVANTIS_EXPORT Message : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("Message is an abstract class, instantiate specific packets from the "
                    "Quorvantis namespace instead.")

public:
    enum ErrorCode : uchar
    {
        Success = 0,
        Timeout = 1,
        IncorrectCommand = 2,
        NotConnected = 3,
        Failed = 255,
    };
    Q_ENUM(ErrorCode)

    Message(char type, bool expectsResponse, QObject *parent = nullptr);
    ~Message() override;

    char type() const { return m_type; }
    bool expectsResponse() const { return m_expectsResponse; }

    // Asked of a reply that echoes the command, before read: false when the
    // reply names what it answers and that is not this request (a late answer
    // to an earlier one), so that the engine drops it and waits on.
    virtual bool isReplyTo(const Request *request, const Response *response) const;

public slots:
    virtual ErrorCode write(Request *request, Device *device);
    virtual ErrorCode read(const Response *response, Device *device);
    virtual void onSent(Device *device);
    virtual void onSendFailed(ErrorCode result, Device *device);
    virtual void onReceived(Device *device);
    virtual void onReceiveFailed(ErrorCode result, Device *device);

    void send(Device *device);

signals:
    void sent();
    void sendFailed(uchar result);
    void received();
    void receiveFailed(uchar result);

protected:
    void setType(char type) { m_type = type; }
    void setExpectsResponse(bool expectsResponse) { m_expectsResponse = expectsResponse; }

private:
    char m_type;
    bool m_expectsResponse;
};
