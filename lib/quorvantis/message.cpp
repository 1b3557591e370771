#include "message.h"

#include "device.h"

#include <QDebug>

Message::Message(char type, bool expectsResponse, QObject *parent)
    : QObject(parent), m_type(type), m_expectsResponse(expectsResponse)
{}

Message::~Message()
{
    // Out of every queue, and no longer called by a device thread, before the
    // memory goes; QObject's destroyed() would come after this class is gone.
    Device::forgetPacket(this);
}

bool Message::isReplyTo(const Request *request, const Response *response) const
{
    Q_UNUSED(request)
    Q_UNUSED(response)
    return true;
}

Message::ErrorCode Message::write(Request *request, Device *device)
{
    Q_UNUSED(device)
    (*request)[1] = uchar(m_type);
    return Success;
}

Message::ErrorCode Message::read(const Response *response, Device *device)
{
    Q_UNUSED(device)
    if ((*response)[0] != uchar(m_type)) {
        qWarning() << "Received incorrect response type.";
        return IncorrectCommand;
    }
    return Success;
}

void Message::onSent(Device *device)
{
    Q_UNUSED(device)
    emit sent();
}

void Message::onSendFailed(ErrorCode result, Device *device)
{
    Q_UNUSED(device)
    emit sendFailed(result);
}

void Message::onReceived(Device *device)
{
    Q_UNUSED(device)
    emit received();
}

void Message::onReceiveFailed(ErrorCode result, Device *device)
{
    Q_UNUSED(device)
    emit receiveFailed(result);
}

void Message::send(Device *device)
{
    if (device)
        device->send(this);
}
