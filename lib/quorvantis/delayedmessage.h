#pragma once

#include "message.h"

#include <QPointer>
#include <atomic>

// Waits `delay` milliseconds on the device thread, then writes and reads as the
// wrapped packet does. Its own hooks and signals fire, not the wrapped packet's.
class QUORVANTIS_EXPORT DelayedMessage : public Message
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(Message *message READ message WRITE setMessage NOTIFY messageChanged)
    Q_PROPERTY(uint delay READ delay WRITE setDelay NOTIFY delayChanged)

public:
    explicit DelayedMessage(QObject *parent = nullptr);
    DelayedMessage(uint delay, Message *message, QObject *parent = nullptr);
    ~DelayedMessage() override;

    bool isReplyTo(const Request *request, const Response *response) const override;

    Message *message() const;
    uint delay() const { return m_delay.load(); }

    void setMessage(Message *message);
    void setDelay(uint delay);

public slots:
    ErrorCode write(Request *request, Device *device) override;
    ErrorCode read(const Response *response, Device *device) override;

signals:
    void messageChanged();
    void delayChanged();

private:
    std::atomic<uint> m_delay{0};
    // Not owned; a wrapped packet destroyed meanwhile reads as none.
    QPointer<Message> m_message;
};
