#include "standinhid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <thread>
#include <unistd.h>

// The instrument's handle as hidapi hands it out.
struct hid_device_
{
    int session = 0;
    bool nonblocking = false;
    bool closed = false;
    int index = 0; // into the handle list
    StandInHid::HandleInfo info;
};

namespace {

constexpr unsigned short instrumentVendor = 0x04D8;
constexpr unsigned short instrumentProduct = 0xF361;
constexpr int reportsPrintedPerRun = 50;
constexpr auto plugFilePeriod = std::chrono::milliseconds(10);
constexpr auto blockingReadLimit = std::chrono::seconds(1);

bool matches(unsigned short vendorId, unsigned short productId)
{
    // 0 stands for any id, as in hidapi.
    return (vendorId == 0 || vendorId == instrumentVendor) &&
           (productId == 0 || productId == instrumentProduct);
}

wchar_t *copyWide(const std::wstring &text)
{
    auto *copy = static_cast<wchar_t *>(std::calloc(text.size() + 1, sizeof(wchar_t)));
    std::wmemcpy(copy, text.c_str(), text.size());
    return copy;
}

} // namespace

// Marks the time a thread spends inside the stand-in; a second thread that
// enters meanwhile is an overlap.
class StandInHid::CallScope
{
public:
    CallScope(StandInHid &hid, const char *call) : m_hid(hid)
    {
        const int before = m_hid.m_inside.fetch_add(1);
        const char *other = m_hid.m_insideCall.exchange(call);
        if (before != 0)
            m_hid.record(Misuse::Overlap, std::string(call) +
                                              " called while another thread was in " +
                                              (other ? other : "hidapi"));
        m_hid.followPlugFile();
        const long long us = m_hid.m_callDurationUs.load();
        if (us > 0)
            std::this_thread::sleep_for(std::chrono::microseconds(us));
    }
    ~CallScope() { m_hid.m_inside.fetch_sub(1); }

private:
    StandInHid &m_hid;
};

StandInHid &StandInHid::instance()
{
    // Never destroyed: a device may still close its handle during exit.
    static StandInHid *hid = new StandInHid;
    return *hid;
}

StandInHid::StandInHid()
{
    if (const char *log = std::getenv("QV_SIM_MISUSE_LOG"))
        m_misuseLog = log;
    if (const char *path = std::getenv("QV_SIM_SCENARIO"); path && *path) {
        QString error;
        if (!loadScenario(QString::fromLocal8Bit(path), &error)) {
            std::fprintf(stderr, "stand-in hidapi: %s: %s; no instrument is plugged in\n", path,
                         qPrintable(error));
            simulator().unplug();
        }
    }
    if (const char *frame = std::getenv("QV_SIM_FRAME_MS"); frame && *frame)
        setFrameMs(std::atof(frame));
    if (const char *plug = std::getenv("QV_SIM_PLUG_FILE"); plug && *plug) {
        m_plugFile = plug;
        m_plugFileSeen = ::access(plug, F_OK) == 0;
        if (!m_plugFileSeen)
            simulator().unplug();
        m_plugFileChecked = std::chrono::steady_clock::now();
    }
}

bool StandInHid::loadScenario(const QString &path, QString *error)
{
    return m_instrument.loadFile(path, error);
}

void StandInHid::setFrameMs(double milliseconds)
{
    simulator().setReplyDelay(
        std::chrono::microseconds(std::llround(std::max(0.0, milliseconds) * 2000.0)));
}

void StandInHid::setCallDuration(std::chrono::microseconds duration)
{
    m_callDurationUs.store(duration.count());
}

void StandInHid::failNonblocking(int times)
{
    std::lock_guard lock(m_lock);
    m_failNonblocking = times;
}

void StandInHid::record(Misuse kind, const std::string &text)
{
    std::lock_guard lock(m_lock);
    m_misuses.push_back({kind, text});
    if (m_misuses.size() <= reportsPrintedPerRun)
        std::fprintf(stderr, "stand-in hidapi: misuse: %s\n", text.c_str());
    if (!m_misuseLog.empty()) {
        std::ofstream log(m_misuseLog, std::ios::app);
        log << text << '\n';
    }
}

void StandInHid::followPlugFile()
{
    if (m_plugFile.empty())
        return;
    bool plugged = false;
    {
        std::lock_guard lock(m_lock);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_plugFileChecked < plugFilePeriod)
            return;
        m_plugFileChecked = now;
        plugged = ::access(m_plugFile.c_str(), F_OK) == 0;
        if (plugged == m_plugFileSeen)
            return; // only a change of the file moves the plug
        m_plugFileSeen = plugged;
    }
    if (plugged)
        simulator().replug();
    else
        simulator().unplug();
}

std::vector<StandInHid::Record> StandInHid::misuses() const
{
    std::lock_guard lock(m_lock);
    return m_misuses;
}

int StandInHid::misuseCount(Misuse kind) const
{
    std::lock_guard lock(m_lock);
    return int(std::count_if(m_misuses.begin(), m_misuses.end(),
                             [kind](const Record &r) { return r.kind == kind; }));
}

std::vector<StandInHid::HandleInfo> StandInHid::handles() const
{
    std::lock_guard lock(m_lock);
    std::vector<HandleInfo> list;
    for (const hid_device *device : m_handles)
        list.push_back(device->info);
    return list;
}

int StandInHid::enumerations() const
{
    std::lock_guard lock(m_lock);
    return m_enumerationCount;
}

int StandInHid::outstandingEnumerations() const
{
    std::lock_guard lock(m_lock);
    return int(m_enumerations.size());
}

int StandInHid::openHandles() const
{
    std::lock_guard lock(m_lock);
    return int(std::count_if(m_handles.begin(), m_handles.end(),
                             [](const hid_device *d) { return !d->closed; }));
}

void StandInHid::reset()
{
    std::lock_guard lock(m_lock);
    m_misuses.clear();
    // Handles still open stay known, so that closing them later is not a misuse.
    std::vector<hid_device *> open;
    for (hid_device *device : m_handles) {
        if (!device->closed) {
            device->info = HandleInfo{};
            device->index = int(open.size());
            open.push_back(device);
        }
    }
    m_handles = open;
    m_enumerationCount = 0;
    m_failNonblocking = 0;
}

std::wstring StandInHid::serialNumber() const
{
    return std::to_wstring(m_instrument.scenario().barcode);
}

hid_device_info *StandInHid::enumerate(unsigned short vendorId, unsigned short productId)
{
    CallScope scope(*this, "hid_enumerate");
    {
        std::lock_guard lock(m_lock);
        ++m_enumerationCount;
    }
    if (!simulator().isPlugged() || !matches(vendorId, productId))
        return nullptr;
    auto *info = static_cast<hid_device_info *>(std::calloc(1, sizeof(hid_device_info)));
    info->path = strdup("/dev/hidraw-simulated");
    info->vendor_id = instrumentVendor;
    info->product_id = instrumentProduct;
    info->serial_number = copyWide(serialNumber());
    info->release_number = 0x0100;
    info->manufacturer_string = copyWide(L"Simulated");
    info->product_string = copyWide(L"Simulated field instrument");
    info->usage_page = 0xFF00;
    info->usage = 0x0001;
    info->interface_number = 0;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    std::lock_guard lock(m_lock);
    m_enumerations.insert(info);
    return info;
}

void StandInHid::freeEnumeration(hid_device_info *devices)
{
    CallScope scope(*this, "hid_free_enumeration");
    if (!devices)
        return;
    bool ours = false;
    {
        std::lock_guard lock(m_lock);
        ours = m_enumerations.erase(devices) != 0;
    }
    if (!ours) {
        record(Misuse::ForeignEnumeration,
               "hid_free_enumeration of a list hid_enumerate did not give (or freed twice)");
        return;
    }
    while (devices) {
        hid_device_info *next = devices->next;
        std::free(devices->path);
        std::free(devices->serial_number);
        std::free(devices->manufacturer_string);
        std::free(devices->product_string);
        std::free(devices);
        devices = next;
    }
}

hid_device *StandInHid::open(unsigned short vendorId, unsigned short productId,
                             const wchar_t *serial)
{
    CallScope scope(*this, "hid_open");
    if (!matches(vendorId, productId) || vendorId == 0 || productId == 0)
        return nullptr;
    if (serial && serialNumber() != serial)
        return nullptr;
    const int session = simulator().open();
    if (session == 0)
        return nullptr;
    std::lock_guard lock(m_lock);
    auto *device = new hid_device;
    device->session = session;
    device->index = int(m_handles.size());
    m_handles.push_back(device);
    return device;
}

int StandInHid::sessionOf(hid_device *device, const char *call, bool *nonblocking)
{
    std::unique_lock lock(m_lock);
    if (std::find(m_handles.begin(), m_handles.end(), device) == m_handles.end()) {
        lock.unlock();
        record(Misuse::UnknownHandle, std::string(call) + " on a handle hid_open did not give");
        return 0;
    }
    if (device->closed) {
        lock.unlock();
        record(Misuse::ClosedHandle, std::string(call) + " on a closed handle");
        return 0;
    }
    if (nonblocking)
        *nonblocking = device->nonblocking;
    return device->session;
}

int StandInHid::setNonblocking(hid_device *device, int nonblock)
{
    CallScope scope(*this, "hid_set_nonblocking");
    if (sessionOf(device, "hid_set_nonblocking", nullptr) == 0)
        return -1;
    std::lock_guard lock(m_lock);
    ++device->info.nonblockingCalls;
    if (m_failNonblocking != 0) {
        if (m_failNonblocking > 0)
            --m_failNonblocking;
        return -1;
    }
    device->nonblocking = nonblock != 0;
    return 0;
}

int StandInHid::write(hid_device *device, const unsigned char *data, size_t length)
{
    CallScope scope(*this, "hid_write");
    const int session = sessionOf(device, "hid_write", nullptr);
    if (session == 0)
        return -1;
    {
        std::lock_guard lock(m_lock);
        ++device->info.writes;
    }
    if (length != 64)
        record(Misuse::WriteLength,
               "hid_write of " + std::to_string(length) + " bytes; the output report is 64");
    const int count = int(std::min<size_t>(length, 65));
    const int result = simulator().write(session, data, count);
    return result > 0 ? int(length) : result;
}

int StandInHid::read(hid_device *device, unsigned char *data, size_t length)
{
    CallScope scope(*this, "hid_read");
    bool nonblocking = false;
    const int session = sessionOf(device, "hid_read", &nonblocking);
    if (session == 0)
        return -1;
    {
        std::lock_guard lock(m_lock);
        ++device->info.reads;
    }
    if (length < 65)
        record(Misuse::ReadLength,
               "hid_read into " + std::to_string(length) + " bytes; the transport passes 65");
    const int count = int(std::min<size_t>(length, 65));
    if (nonblocking)
        return simulator().read(session, data, count);

    // A blocking read waits for the reply as hidapi would, but gives up after a
    // while so that a test can report it instead of hanging.
    record(Misuse::BlockingRead, "hid_read on a handle that was not set non-blocking");
    const auto deadline = std::chrono::steady_clock::now() + blockingReadLimit;
    for (;;) {
        const int result = simulator().read(session, data, count);
        if (result != 0 || std::chrono::steady_clock::now() > deadline)
            return result;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
}

void StandInHid::close(hid_device *device)
{
    CallScope scope(*this, "hid_close");
    if (!device)
        return;
    if (sessionOf(device, "hid_close", nullptr) == 0)
        return;
    std::lock_guard lock(m_lock);
    device->closed = true;
    ++device->info.closeCalls;
}
