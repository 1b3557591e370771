#pragma once

#include "device.h"
#include "quorvantis_global.h"
#include "version.h"

#include <QList>
#include <QPointer>
#include <mutex>

class BootloaderInfo;
class ExtendedInfo;
class FetchDataEntries;
class ReadDeviceIDMemory;
class ReadIsPublic;
class UpdateTime;

// The instrument: its handshake, its firmware version and the list of recorded entries.
// Still abstract; a transport supplies the raw operations.
class QUORVANTIS_EXPORT QuorvAntisDevice : public Device
{
    Q_OBJECT
    Q_PROPERTY(bool hasAllHeaders READ hasAllHeaders NOTIFY hasAllHeadersChanged)
    Q_PROPERTY(QList<QObject *> dataEntries READ dataEntries NOTIFY dataEntriesChanged)
    Q_PROPERTY(Version *codeVersion READ codeVersion NOTIFY codeVersionChanged)

public:
    explicit QuorvAntisDevice(QObject *parent = nullptr);
    ~QuorvAntisDevice() override;

    bool hasAllHeaders() const;
    QList<QObject *> dataEntries() const;
    Version *codeVersion();

signals:
    void dataEntriesChanged();
    void hasAllHeadersChanged(bool isRefresh);
    // The current walk's exchange failed while the instrument stays connected: the
    // list will not complete. A lost connection reports only the disconnection.
    void headerWalkFailed();
    void codeVersionChanged(Version *newVersion);

public slots:
    void refreshDataEntries();

protected:
    ErrorCode performHandshake() override;
    void onConnected() override;
    void onDisconnected() override;

private slots:
    void setCodeVersion(char major, char minor, char patch);

private:
    FetchDataEntries *currentWalk() const;
    // A replaced walk goes, with its entries and readings, once nothing uses it.
    void retireWalk(FetchDataEntries *walk);
    void scheduleRelease();
    void releaseUnusedWalks();

    Version m_codeVersion;
    BootloaderInfo *m_bootloaderInfo;
    ExtendedInfo *m_extendedInfo;
    UpdateTime *m_updateTime;
    // Touched by the handshake only.
    ReadDeviceIDMemory *m_deviceIDReader = nullptr;
    ReadIsPublic *m_readIsPublic;

    // The walk is replaced on the device thread (on connection) and on the UI thread
    // (a refresh), and read from the UI thread.
    mutable std::mutex m_walkLock;
    FetchDataEntries *m_fetchDataEntries = nullptr;

    // The device object's thread only.
    QList<QPointer<FetchDataEntries>> m_retiredWalks;
    bool m_releaseScheduled = false;
};
