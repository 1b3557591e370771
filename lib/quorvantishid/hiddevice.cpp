#include "hiddevice.h"

#include <hidapi/hidapi.h>

HIDDevice::HIDDevice(QObject *parent) : QuorvAntisDevice(parent) {}

HIDDevice::~HIDDevice()
{
    // The thread calls the operations below; it has to be gone before the handle is.
    stopAndWait();
    if (hid_device *handle = m_handle.exchange(nullptr)) {
        const std::lock_guard<std::mutex> lock(m_hidLock);
        hid_close(handle);
    }
}

bool HIDDevice::availableRaw()
{
    const std::lock_guard<std::mutex> lock(m_hidLock);
    hid_device_info *devices = hid_enumerate(vendorId, productId);
    const bool found = devices != nullptr;
    hid_free_enumeration(devices);
    return found;
}

bool HIDDevice::isConnectedRaw()
{
    return m_handle.load() != nullptr;
}

Device::ErrorCode HIDDevice::connectRaw()
{
    if (m_handle.load())
        return Success;
    const std::lock_guard<std::mutex> lock(m_hidLock);
    hid_device *handle = hid_open(vendorId, productId, nullptr);
    if (!handle)
        return Failed;
    // A handle left blocking would make a read wait for ever, and the device
    // thread could then never be stopped.
    if (hid_set_nonblocking(handle, 1) != 0) {
        hid_close(handle);
        return Failed;
    }
    m_handle.store(handle);
    return Success;
}

void HIDDevice::disconnectRaw()
{
    hid_device *handle = m_handle.exchange(nullptr);
    if (!handle)
        return;
    const std::lock_guard<std::mutex> lock(m_hidLock);
    hid_close(handle);
}

int HIDDevice::writeRaw(const void *data, int length)
{
    hid_device *handle = m_handle.load();
    if (!handle || length < 1)
        return -1;
    // The report buffer holds the report id and one byte more than the 64-byte
    // output report; the last byte is never sent.
    const std::lock_guard<std::mutex> lock(m_hidLock);
    return hid_write(handle, static_cast<const unsigned char *>(data), size_t(length - 1));
}

int HIDDevice::readRaw(void *data, int length)
{
    hid_device *handle = m_handle.load();
    if (!handle || length < 1)
        return -1;
    const std::lock_guard<std::mutex> lock(m_hidLock);
    return hid_read(handle, static_cast<unsigned char *>(data), size_t(length));
}
