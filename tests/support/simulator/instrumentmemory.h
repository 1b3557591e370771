#pragma once

#include "scenario.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

// The instrument's memory as the protocol shows it: the identity block, the
// entry block (64 KiB sectors of recorded session data) and the table of entry
// headers from 0xF0000000 (field headers, then audio headers from 0xF0100000;
// the table ends with a next address of 0xF0400000).
//
// A session is stored as a 0xFF marker and its BCD start time, then its data
// in units (4-byte field records, 1-byte audio samples) that never straddle a
// sector. A unit that does not fit goes to the next sector, whose first byte
// stays erased and whose next seven bytes repeat the marker and start time.
// Start addresses are chosen so that a session's end mark (the erased byte
// after its data) lies neither on a sector's first two addresses nor in its
// last unit, where a reader would take it for a continuation.
class InstrumentMemory
{
public:
    static constexpr quint32 SectorSize = 0x10000;
    static constexpr quint32 HeaderTableStart = 0xF0000000;
    static constexpr quint32 AudioHeaderStart = 0xF0100000;
    static constexpr quint32 HeaderTableEnd = 0xF0400000;
    static constexpr quint32 HeaderSize = 16;

    struct Region
    {
        uint8_t type;
        quint32 address;
        quint32 size; // in addresses
    };

    struct Span
    {
        quint32 address; // where the bytes go in the simulator's memory image
        QByteArray bytes;
    };

    struct Placement
    {
        Scenario::Session::Type type;
        QDateTime start;
        quint32 address;    // the marker
        quint32 endAddress; // the end mark
    };

    // Lays the scenario out; refuses (with `error`) what does not fit.
    bool load(const Scenario &scenario, QString *error);
    // Every session gone: the whole entry block erased, no headers.
    void erase();

    QList<Region> regions() const;
    quint32 entryBlockStart() const { return m_entryStart; }
    quint32 entryBlockEnd() const
    {
        return m_entryStart + quint32(m_entry.size() / m_bytesPerAddress);
    }

    int bytesPerAddress() const { return m_bytesPerAddress; }
    // A record of the header table: type (0xFF: erased, the table's section
    // ends), data address (big-endian), BCD start time, zeros.
    static QByteArray headerRecord(uint8_t type, quint32 dataAddress, const QDateTime &start);
    static QByteArray bcdTime(const QDateTime &utc);

    // What was written since the last call, for the simulator's memory image.
    QList<Span> takeWrites();

    // Appends one reading to the newest field session; false when it is full.
    bool appendLiveRecord(const Scenario::FieldRecord &record);
    bool hasLiveSession() const { return m_live >= 0; }

    // Where each session went, in recording order.
    const QList<Placement> &placements() const { return m_placements; }
    uint8_t byteAt(quint32 address) const; // of the entry block

private:
    struct Stream
    {
        QByteArray header; // marker and start time
        int unitSize = 1;
        QList<QByteArray> units;
    };
    struct Layout
    {
        QList<quint32> unitAddresses;
        QList<quint32> sectorsContinued; // sector starts that repeat the header
        quint32 end = 0;
    };

    static Stream streamFor(const Scenario::Session &session);
    enum class Fit
    {
        Fits,
        BadStart,
        Overflow
    };
    Fit fitsFrom(quint32 start, const Stream &stream, Layout *layout) const;
    bool endMarkIsSafe(quint32 endMark, int unitSize) const;
    quint32 nextUnitAddress(quint32 cursor, int unitSize, bool *newSector) const;
    void write(quint32 address, const QByteArray &bytes);
    quint32 offsetInSector(quint32 address) const { return (address - m_entryStart) % SectorSize; }

    int m_bytesPerAddress = 1; // of both blocks: the readers address them like flash
    QByteArray m_identity;
    quint32 m_identityStart = 0;
    QByteArray m_entry; // the entry block
    quint32 m_entryStart = 0;
    QList<Placement> m_placements;
    QList<Span> m_writes;

    int m_live = -1; // placement of the session that live records extend
    QByteArray m_liveHeader;
    quint32 m_liveCursor = 0;
};
