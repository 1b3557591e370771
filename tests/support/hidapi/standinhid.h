#pragma once

#include "scenarioinstrument.h"

#include <QString>
#include <atomic>
#include <chrono>
#include <hidapi/hidapi.h>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// The state behind the stand-in hidapi: one simulated instrument per process,
// answered through the seven hidapi functions that the HID transport calls, and
// a record of everything a transport did wrong. Tests link this library to
// drive the instrument and read the record; the stand-in library
// (libhidapi-hidraw.so.0, in build/standin-hidapi) only forwards to it.
//
// Environment, read once on first use:
//   QV_SIM_SCENARIO    scenario JSON file (default: an empty instrument)
//   QV_SIM_FRAME_MS    USB frame time F: a reply becomes readable 2 x F ms after
//                      its request (overrides the scenario's frameMs)
//   QV_SIM_PLUG_FILE   the instrument is plugged in while this file exists
//   QV_SIM_MISUSE_LOG  file to which every misuse is appended as a line
class StandInHid
{
public:
    enum class Misuse
    {
        WriteLength,        // a write of other than 64 bytes
        ReadLength,         // a read into less than 65 bytes
        ClosedHandle,       // a call on a handle after hid_close
        UnknownHandle,      // a handle that hid_open never gave
        Overlap,            // a call while another thread was inside hidapi
        BlockingRead,       // a read on a handle not set non-blocking
        ForeignEnumeration, // hid_free_enumeration of a list not from hid_enumerate
    };

    struct Record
    {
        Misuse kind;
        std::string text;
    };

    // One per hid_open that succeeded, in order.
    struct HandleInfo
    {
        int nonblockingCalls = 0;
        int closeCalls = 0;
        int writes = 0;
        int reads = 0;
    };

    static StandInHid &instance();

    ScenarioInstrument &instrument() { return m_instrument; }
    InstrumentSimulator &simulator() { return m_instrument.simulator(); }
    bool loadScenario(const QString &path, QString *error = nullptr);

    void setFrameMs(double milliseconds);
    // Every hidapi call lasts at least this long, so that calls from two
    // threads that may overlap do overlap.
    void setCallDuration(std::chrono::microseconds duration);
    void failNonblocking(int times); // hid_set_nonblocking answers -1

    // True once one of the seven exported functions was called: the stand-in,
    // not the real library, is what the process loaded.
    bool reached() const { return m_reached.load(); }

    std::vector<Record> misuses() const;
    int misuseCount(Misuse kind) const;
    std::vector<HandleInfo> handles() const;
    int enumerations() const;
    int outstandingEnumerations() const;
    int openHandles() const;
    // Forgets misuses and handles; the instrument stays as it is.
    void reset();

    // The hidapi side.
    hid_device_info *enumerate(unsigned short vendorId, unsigned short productId);
    void freeEnumeration(hid_device_info *devices);
    hid_device *open(unsigned short vendorId, unsigned short productId, const wchar_t *serial);
    int setNonblocking(hid_device *device, int nonblock);
    int write(hid_device *device, const unsigned char *data, size_t length);
    int read(hid_device *device, unsigned char *data, size_t length);
    void close(hid_device *device);
    void noteReached() { m_reached.store(true); }

private:
    class CallScope;

    StandInHid();
    void record(Misuse kind, const std::string &text);
    void followPlugFile();
    // The handle's simulator session, or 0 after recording why it cannot be used.
    int sessionOf(hid_device *device, const char *call, bool *nonblocking);
    std::wstring serialNumber() const;

    ScenarioInstrument m_instrument;

    mutable std::mutex m_lock;
    std::vector<Record> m_misuses;
    std::vector<hid_device *> m_handles; // never freed: a late call is recorded, not undefined
    std::set<hid_device_info *> m_enumerations;
    int m_enumerationCount = 0;
    int m_failNonblocking = 0;
    std::string m_plugFile;
    bool m_plugFileSeen = true;
    std::chrono::steady_clock::time_point m_plugFileChecked;
    std::string m_misuseLog;

    std::atomic<bool> m_reached{false};
    std::atomic<int> m_inside{0};
    std::atomic<const char *> m_insideCall{nullptr};
    std::atomic<long long> m_callDurationUs{0};
};
