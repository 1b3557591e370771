#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>

// What a simulated instrument holds, as read from a JSON scenario file (keys
// documented in tests/support/README.md). Values are checked when loading:
// anything the instrument's protocol cannot represent is refused.
struct Scenario
{
    // [deltaSeconds, eByte, hByte]
    using FieldRecord = std::array<uint8_t, 3>;

    struct Session
    {
        enum Type
        {
            Field,
            Audio
        };
        Type type = Field;
        QDateTime start; // UTC
        QList<FieldRecord> records;
        QByteArray samples;
        quint32 earliestAddress = 0; // 0: wherever the layout puts it
    };

    quint32 barcode = 0;
    quint32 databaseId = 0;
    uint8_t hardwareVersion = 0;
    QByteArray extraBytes;

    uint8_t bootloaderMajor = 1;
    uint8_t bootloaderMinor = 0;
    uint8_t firmwareMajor = 0;
    uint8_t firmwareMinor = 0;
    bool extendedQuery = true;
    uint8_t family = 1;
    uint8_t bytesPerPacket = 58;

    bool isPublic = false;
    quint16 batteryRaw = 1006;
    bool memoryDisabled = false;
    qint64 clockOffsetSeconds = 0;
    // USB frame time: each reply becomes readable two frames after its request.
    int frameMs = 0;

    quint32 identityAddress = 0x00008000;
    quint32 entryBlockAddress = 0x00100000;
    quint32 entryBlockSectors = 16;

    QList<Session> sessions; // oldest first

    bool hasLive = false;
    int liveAppendEveryMs = 1000;
    QList<FieldRecord> liveRecords;

    // Returns false and sets `error` (naming the offending key) when refused.
    bool loadJson(const QByteArray &json, QString *error = nullptr);
    bool loadFile(const QString &path, QString *error = nullptr);

    // A scenario file from the shared test data folder (QV_TEST_DATA).
    static QString dataPath(const QString &fileName);

    // The identity block as the instrument stores it.
    QByteArray identityBlock() const;
};
