// The seven hidapi functions that the HID transport calls, answered by the
// simulated instrument. Built as libhidapi-hidraw.so.0 so that LD_LIBRARY_PATH
// puts it in place of the real library.
#include "standinhid.h"

extern "C" {

struct hid_device_info *hid_enumerate(unsigned short vendor_id, unsigned short product_id)
{
    StandInHid::instance().noteReached();
    return StandInHid::instance().enumerate(vendor_id, product_id);
}

void hid_free_enumeration(struct hid_device_info *devs)
{
    StandInHid::instance().noteReached();
    StandInHid::instance().freeEnumeration(devs);
}

hid_device *hid_open(unsigned short vendor_id, unsigned short product_id,
                     const wchar_t *serial_number)
{
    StandInHid::instance().noteReached();
    return StandInHid::instance().open(vendor_id, product_id, serial_number);
}

int hid_set_nonblocking(hid_device *dev, int nonblock)
{
    StandInHid::instance().noteReached();
    return StandInHid::instance().setNonblocking(dev, nonblock);
}

int hid_write(hid_device *dev, const unsigned char *data, size_t length)
{
    StandInHid::instance().noteReached();
    return StandInHid::instance().write(dev, data, length);
}

int hid_read(hid_device *dev, unsigned char *data, size_t length)
{
    StandInHid::instance().noteReached();
    return StandInHid::instance().read(dev, data, length);
}

void hid_close(hid_device *dev)
{
    StandInHid::instance().noteReached();
    StandInHid::instance().close(dev);
}

} // extern "C"
