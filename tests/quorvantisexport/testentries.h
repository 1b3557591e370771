#pragma once

// Entries and an instrument for the exporter tests: entries take their bytes
// straight from the test, and the instrument is "connected" without a thread,
// so a load queues its read and waits until the test feeds the entry.

#include "audiodataentry.h"
#include "device.h"
#include "fielddataentry.h"
#include "fieldreading.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimer>

class TestDevice : public Device
{
public:
    TestDevice() = default;
    ~TestDevice() override { stopAndWait(); }

    void link(bool linked)
    {
        m_linked = linked;
        setConnected(linked);
    }
    void makePublic(bool isPublic) { setIsPublic(isPublic); }

protected:
    bool availableRaw() override { return m_linked; }
    bool isConnectedRaw() override { return m_linked; }
    ErrorCode connectRaw() override { return Success; }
    void disconnectRaw() override {}
    int writeRaw(const void *, int) override { return 0; }
    int readRaw(void *, int) override { return 0; }
    ErrorCode performHandshake() override { return Success; }

private:
    bool m_linked = false;
};

// An entry that answers each load with `payload` from the event loop, once
// `feedOnLoad` has been called; the test plays the instrument.
template <typename Base> class FedEntry : public Base
{
public:
    template <typename... Args> explicit FedEntry(Args... args) : Base(args...)
    {
        QObject::connect(this, &DataEntry::loadingChanged, this, [this] {
            if (this->isLoading() && m_feeding)
                QTimer::singleShot(10, this, [this] {
                    if (this->isLoading() && m_feeding)
                        feed(m_payload);
                });
        });
    }
    void feedOnLoad(const QByteArray &payload)
    {
        m_payload = payload;
        m_feeding = true;
    }
    void feed(const QByteArray &payload) { this->onDataAvailable(payload, true); }
    void fail() { this->setValid(false); }

private:
    QByteArray m_payload;
    bool m_feeding = false;
};

class TestFieldEntry : public FedEntry<FieldDataEntry>
{
public:
    explicit TestFieldEntry(const QDateTime &start, bool isPublic = false)
        : FedEntry(start, ulong(0x100), isPublic, static_cast<QObject *>(nullptr))
    {}
};

class TestAudioEntry : public FedEntry<AudioDataEntry>
{
public:
    explicit TestAudioEntry(const QDateTime &start)
        : FedEntry(start, ulong(0x200), static_cast<QObject *>(nullptr))
    {}
};

// One field record: seconds since the previous reading, E byte, separator, H byte.
inline QByteArray fieldRecord(uchar seconds, uchar e, uchar h)
{
    const char record[] = {char(seconds), char(e), 0, char(h)};
    return QByteArray(record, sizeof record);
}

// A session of `count` readings, `gap` seconds apart, with changing values.
// Long sessions use wide gaps: fewer readings per averaging window load faster.
inline QByteArray fieldSession(int count, uchar gap = 10)
{
    QByteArray payload;
    payload.reserve(count * 4);
    for (int i = 0; i < count; ++i)
        payload += fieldRecord(gap, uchar(i * 7 % 250), uchar(i * 13 % 250));
    return payload;
}
