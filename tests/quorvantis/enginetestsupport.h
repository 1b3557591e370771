#pragma once

// Shared by the engine tests: a packet that records what the engine does with
// it, and a recorder of device and packet signals in the test's thread.

#include "device.h"
#include "message.h"

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <atomic>
#include <memory>

// Outlives the packet, so tests can look at it after the packet is gone.
struct PacketTrace
{
    std::atomic<int> writes{0};
    std::atomic<int> reads{0};
    std::atomic<int> hooks{0};
};

class TestPacket : public Message
{
    Q_OBJECT

public:
    TestPacket(char type, bool expectsResponse, QObject *parent = nullptr)
        : Message(type, expectsResponse, parent), m_trace(std::make_shared<PacketTrace>())
    {}

    std::shared_ptr<PacketTrace> trace() const { return m_trace; }

public slots:
    ErrorCode write(Request *request, Device *device) override
    {
        ++m_trace->writes;
        const ErrorCode result = Message::write(request, device);
        if (result == Success)
            (*request)[2] = 0x5A;
        return result;
    }
    ErrorCode read(const Response *response, Device *device) override
    {
        ++m_trace->reads;
        return Message::read(response, device);
    }
    void onSent(Device *device) override
    {
        ++m_trace->hooks;
        Message::onSent(device);
    }
    void onSendFailed(ErrorCode result, Device *device) override
    {
        ++m_trace->hooks;
        Message::onSendFailed(result, device);
    }
    void onReceived(Device *device) override
    {
        ++m_trace->hooks;
        Message::onReceived(device);
    }
    void onReceiveFailed(ErrorCode result, Device *device) override
    {
        ++m_trace->hooks;
        Message::onReceiveFailed(result, device);
    }

private:
    std::shared_ptr<PacketTrace> m_trace;
};

// Collects signals as text in the order they reach the test's thread.
class SignalRecorder : public QObject
{
    Q_OBJECT

public:
    void watchDevice(Device *device)
    {
        connect(device, &Device::connectedChanged, this,
                [this](bool c) { add(QStringLiteral("connectedChanged(%1)").arg(c)); });
        connect(device, &Device::connected, this, [this] { add("connected"); });
        connect(device, &Device::disconnected, this, [this] { add("disconnected"); });
        connect(device, &Device::handshakeStarted, this, [this] { add("handshakeStarted"); });
        connect(device, &Device::sent, this,
                [this](Message *m) { add(QStringLiteral("device.sent(%1)").arg(name(m))); });
        connect(device, &Device::received, this,
                [this](Message *m) { add(QStringLiteral("device.received(%1)").arg(name(m))); });
        connect(device, &Device::sendFailed, this, [this](Message *m, uchar code) {
            add(QStringLiteral("device.sendFailed(%1,%2)").arg(name(m)).arg(code));
        });
        connect(device, &Device::receiveFailed, this, [this](Message *m, uchar code) {
            add(QStringLiteral("device.receiveFailed(%1,%2)").arg(name(m)).arg(code));
        });
    }

    void watchPacket(Message *packet, const QString &packetName)
    {
        packet->setObjectName(packetName);
        m_names.append({packet, packetName});
        connect(packet, &Message::sent, this, [this, packetName] { add(packetName + ".sent"); });
        connect(packet, &Message::received, this,
                [this, packetName] { add(packetName + ".received"); });
        connect(packet, &Message::sendFailed, this, [this, packetName](uchar code) {
            add(QStringLiteral("%1.sendFailed(%2)").arg(packetName).arg(code));
        });
        connect(packet, &Message::receiveFailed, this, [this, packetName](uchar code) {
            add(QStringLiteral("%1.receiveFailed(%2)").arg(packetName).arg(code));
        });
    }

    QStringList events() const { return m_events; }
    bool has(const QString &event) const { return m_events.contains(event); }
    int count(const QString &event) const { return int(m_events.count(event)); }
    void clear() { m_events.clear(); }

private:
    // Names by pointer only: a recorded packet may be gone already.
    QString name(Message *m) const
    {
        for (const auto &entry : m_names) {
            if (entry.first == m)
                return entry.second;
        }
        return QStringLiteral("?");
    }
    void add(const QString &event) { m_events.append(event); }

    QList<QPair<Message *, QString>> m_names;
    QStringList m_events;
};
