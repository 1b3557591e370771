#pragma once

#include "message.h"
#include "quorvantis_global.h"

#include <QList>
#include <QMap>
#include <atomic>
#include <mutex>

class DataEntry;
class ReadHeader;

// Walks the instrument's header table, one header per exchange, and keeps the entries
// it finds newest first. Each step must move on through the table, and a walk reads
// at most MaximumHeaders headers, of which at most MaximumEmptySlots empty ones (each
// costs a pause): an instrument answering otherwise fails the walk.
class QUORVANTIS_EXPORT FetchDataEntries : public Message
{
    Q_OBJECT
    Q_PROPERTY(QList<QObject *> dataEntries READ dataEntries NOTIFY dataEntriesChanged)
    Q_PROPERTY(bool hasFieldHeaders READ hasFieldHeaders NOTIFY fieldHeadersAvailable)
    Q_PROPERTY(bool hasAudioHeaders READ hasAudioHeaders NOTIFY audioHeadersAvailable)
    Q_PROPERTY(bool hasAllHeaders READ hasAllHeaders NOTIFY allHeadersAvailable)

public:
    static constexpr quint32 fieldHeadersEnd = 0xF00FFFFFu;
    static constexpr quint32 audioHeadersEnd = 0xF03FFFFFu;
    // Far more sessions than an instrument records.
    static constexpr int MaximumHeaders = 65536;
    // Some seconds of pauses; an instrument leaves a slot empty only now and then.
    static constexpr int MaximumEmptySlots = 256;

    explicit FetchDataEntries(QObject *parent = nullptr);
    ~FetchDataEntries() override;

    QList<QObject *> dataEntries() const;
    bool hasFieldHeaders() const { return m_hasFieldHeaders.load(); }
    bool hasAudioHeaders() const { return m_hasAudioHeaders.load(); }
    // True once every header is read and every entry found is in the list.
    bool hasAllHeaders() const { return m_allListed.load(); }
    ReadHeader *readHeader() const { return m_readHeader; }
    // On the walk's thread: an exchange of the walk may still come, or one of its
    // entries is loading or held (DataEntryHold). usageChanged() tells when that
    // may have changed.
    bool isInUse() const;

signals:
    void dataEntriesChanged();
    void fieldHeadersAvailable(bool isRefresh);
    void audioHeadersAvailable(bool isRefresh);
    void allHeadersAvailable(bool isRefresh);
    void hasFieldHeadersChanged(bool hasHeader, bool isRefresh);
    void hasAudioHeadersChanged(bool hasHeader, bool isRefresh);
    void hasAllHeadersChanged(bool hasHeader, bool isRefresh);
    void usageChanged();

public slots:
    void reset();
    void refresh();

    Message::ErrorCode write(Request *request, Device *device) override;
    Message::ErrorCode read(const Response *response, Device *device) override;

private slots:
    void addDataEntry(DataEntry *entry);
    void removeDataEntry(QObject *entry);
    void clearDataEntries();
    void requestNextEntry(ulong nextAddress, Device *device);
    void setHasFieldHeaders(bool hasHeaders);
    void setHasAudioHeaders(bool hasHeaders);
    void setHasAllHeaders(bool hasHeaders);
    void endAfterFailure();

private:
    // A child, so it follows the walk to whichever thread the walk is moved to.
    ReadHeader *m_readHeader;
    // Changed only on the walk's own thread; the lock lets any thread read a list.
    mutable std::mutex m_entriesLock;
    QMap<qint64, DataEntry *> m_dataEntries;
    // Written by the walk's steps on the device thread, read from the UI thread.
    std::atomic<bool> m_hasFieldHeaders{false};
    std::atomic<bool> m_hasAudioHeaders{false};
    std::atomic<bool> m_hasAllHeaders{false};
    std::atomic<bool> m_isRefresh{false};
    // The entries reach the list through events on the walk's thread; the walk counts as
    // complete there only after them. A refresh makes an older "complete" stale.
    std::atomic<bool> m_allListed{false};
    std::atomic<int> m_generation{0};
    // The walk's thread: a failed exchange ended the walk.
    bool m_failed = false;
    // The device thread: headers read since the walk (re)started.
    std::atomic<int> m_headersRead{0};
    std::atomic<int> m_emptySlotsRead{0};
};
