#include "delayedmessage.h"

#include "device.h"

#include <QThread>

DelayedMessage::DelayedMessage(QObject *parent) : Message(0, false, parent) {}

DelayedMessage::DelayedMessage(uint delay, Message *message, QObject *parent)
    : Message(0, false, parent), m_delay(delay)
{
    if (message) {
        setType(message->type());
        setExpectsResponse(message->expectsResponse());
        m_message = message;
    }
}

DelayedMessage::~DelayedMessage()
{
    Device::forgetPacket(this);
}

bool DelayedMessage::isReplyTo(const Request *request, const Response *response) const
{
    const Message *const wrapped = m_message.data();
    return !wrapped || wrapped->isReplyTo(request, response);
}

Message *DelayedMessage::message() const
{
    return m_message.data();
}

// Given no packet, the wrapped one is cleared: the exchange then fails in write.
void DelayedMessage::setMessage(Message *message)
{
    if (message) {
        setType(message->type());
        setExpectsResponse(message->expectsResponse());
    }
    m_message = message;
    emit messageChanged();
}

void DelayedMessage::setDelay(uint delay)
{
    m_delay.store(delay);
    emit delayChanged();
}

Message::ErrorCode DelayedMessage::write(Request *request, Device *device)
{
    QThread::msleep(m_delay.load());
    Message *const wrapped = m_message.data();
    if (!wrapped)
        return Failed;
    return wrapped->write(request, device);
}

Message::ErrorCode DelayedMessage::read(const Response *response, Device *device)
{
    Message *const wrapped = m_message.data();
    if (!wrapped)
        return Failed;
    return wrapped->read(response, device);
}
