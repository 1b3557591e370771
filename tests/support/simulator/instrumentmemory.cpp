#include "instrumentmemory.h"

#include <algorithm>

namespace {

constexpr uint8_t Erased = 0xFF;
constexpr quint32 ContinuationPrefix = 8; // the sector's first byte, then marker and start time

uint8_t bcd(int value)
{
    return uint8_t(((value % 100) / 10) * 16 + value % 10);
}

} // namespace

QByteArray InstrumentMemory::bcdTime(const QDateTime &utc)
{
    const QDate d = utc.date();
    const QTime t = utc.time();
    QByteArray bytes;
    for (int v : {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()})
        bytes.append(char(bcd(v)));
    return bytes;
}

namespace {

int flashBytesPerAddress(uint8_t family)
{
    return (family == 2 || family == 4) ? 2 : 1;
}

} // namespace

bool InstrumentMemory::load(const Scenario &scenario, QString *error)
{
    auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };

    m_bytesPerAddress = flashBytesPerAddress(scenario.family);
    m_identityStart = scenario.identityAddress;
    m_identity = scenario.identityBlock();
    m_identity.append(QByteArray(m_identity.size() % m_bytesPerAddress, char(0)));
    m_entryStart = scenario.entryBlockAddress;
    m_entry =
        QByteArray(int(scenario.entryBlockSectors * SectorSize) * m_bytesPerAddress, char(Erased));
    const quint32 identityEnd = m_identityStart + quint32(m_identity.size() / m_bytesPerAddress);
    if (m_identityStart < entryBlockEnd() && m_entryStart < identityEnd)
        return fail(QStringLiteral("identityAddress: the identity block overlaps the entry block"));
    m_placements.clear();
    m_writes.clear();
    m_live = -1;
    m_writes.append({m_identityStart * quint32(m_bytesPerAddress), m_identity});

    if (!scenario.sessions.isEmpty() && m_bytesPerAddress != 1)
        return fail(QStringLiteral("family %1 reads entry data at two bytes per address; "
                                   "sessions need a family of one byte per address")
                        .arg(scenario.family));

    // The session that live readings extend goes last, so that it can grow.
    int liveIndex = -1;
    if (scenario.hasLive) {
        for (int i = scenario.sessions.size() - 1; i >= 0 && liveIndex < 0; --i) {
            if (scenario.sessions.at(i).type == Scenario::Session::Field)
                liveIndex = i;
        }
    }
    QList<int> order;
    for (int i = 0; i < scenario.sessions.size(); ++i) {
        if (i != liveIndex)
            order.append(i);
    }
    if (liveIndex >= 0)
        order.append(liveIndex);

    QList<Placement> placed(scenario.sessions.size());
    quint32 nextFree = m_entryStart + 1;
    for (int index : std::as_const(order)) {
        const Scenario::Session &session = scenario.sessions.at(index);
        const Stream stream = streamFor(session);
        quint32 cursor = std::max(nextFree, session.earliestAddress);
        Layout layout;
        bool placedHere = false;
        while (!placedHere) {
            if (cursor >= entryBlockEnd())
                break;
            layout = Layout();
            const Fit fit = fitsFrom(cursor, stream, &layout);
            if (fit == Fit::Overflow)
                break;
            if (fit == Fit::BadStart) {
                // Too close to the sector's end for the marker and start time.
                cursor = cursor - offsetInSector(cursor) + SectorSize + 1;
                continue;
            }
            if (endMarkIsSafe(layout.end, stream.unitSize))
                placedHere = true;
            else
                ++cursor;
        }
        if (!placedHere)
            return fail(QStringLiteral("sessions[%1]: does not fit into the entry block "
                                       "(%2 sectors of 64 KiB from 0x%3)")
                            .arg(index)
                            .arg(scenario.entryBlockSectors)
                            .arg(m_entryStart, 0, 16));

        write(cursor, stream.header);
        for (int u = 0; u < stream.units.size(); ++u) {
            const quint32 address = layout.unitAddresses.at(u);
            if (layout.sectorsContinued.contains(address - ContinuationPrefix))
                write(address - ContinuationPrefix + 1, stream.header);
            write(address, stream.units.at(u));
        }
        placed[index] = Placement{session.type, session.start, cursor, layout.end};
        nextFree = layout.end + 1;
        if (index == liveIndex) {
            m_liveHeader = stream.header;
            m_liveCursor = layout.end;
        }
    }

    m_placements = placed;
    quint32 fieldSlot = HeaderTableStart;
    quint32 audioSlot = AudioHeaderStart;
    for (const Placement &placement : std::as_const(m_placements)) {
        const bool field = placement.type == Scenario::Session::Field;
        quint32 &slot = field ? fieldSlot : audioSlot;
        m_writes.append({slot, headerRecord(field ? 1 : 2, placement.address, placement.start)});
        slot += HeaderSize;
    }
    m_live = liveIndex;
    return true;
}

void InstrumentMemory::erase()
{
    m_entry.fill(char(Erased));
    m_placements.clear();
    m_writes.clear();
    m_live = -1;
}

QList<InstrumentMemory::Region> InstrumentMemory::regions() const
{
    return {Region{4, m_identityStart, quint32(m_identity.size() / m_bytesPerAddress)},
            Region{5, m_entryStart, quint32(m_entry.size() / m_bytesPerAddress)}};
}

uint8_t InstrumentMemory::byteAt(quint32 address) const
{
    if (address < m_entryStart || address >= entryBlockEnd())
        return Erased;
    return uint8_t(m_entry.at(qsizetype(address - m_entryStart)));
}

QByteArray InstrumentMemory::headerRecord(uint8_t type, quint32 dataAddress, const QDateTime &start)
{
    QByteArray record(int(HeaderSize), char(0));
    record[0] = char(type);
    for (int i = 0; i < 4; ++i)
        record[1 + i] = char(dataAddress >> (24 - 8 * i));
    record.replace(5, 6, bcdTime(start));
    return record;
}

QList<InstrumentMemory::Span> InstrumentMemory::takeWrites()
{
    QList<Span> writes;
    writes.swap(m_writes);
    return writes;
}

bool InstrumentMemory::appendLiveRecord(const Scenario::FieldRecord &record)
{
    if (m_live < 0)
        return false;
    bool newSector = false;
    const quint32 address = nextUnitAddress(m_liveCursor, 4, &newSector);
    const quint32 endMark = address + 4;
    // A reader steps over an end mark at a sector's edge into the next sector;
    // that sector must still lie inside the block.
    const quint32 offset = offsetInSector(endMark);
    quint32 jumpTo = 0;
    if (offset <= 1)
        jumpTo = endMark - offset;
    else if (offset >= SectorSize - 4)
        jumpTo = endMark - offset + SectorSize;
    const bool fits =
        jumpTo == 0 ? endMark < entryBlockEnd() : jumpTo + ContinuationPrefix < entryBlockEnd();
    if (!fits)
        return false;
    if (newSector)
        write(address - ContinuationPrefix + 1, m_liveHeader);
    const char unit[4] = {char(record[0]), char(record[1]), 0, char(record[2])};
    write(address, QByteArray(unit, 4));
    m_liveCursor = endMark;
    m_placements[m_live].endAddress = endMark;
    return true;
}

InstrumentMemory::Stream InstrumentMemory::streamFor(const Scenario::Session &session)
{
    Stream stream;
    stream.header.append(char(Erased));
    stream.header.append(bcdTime(session.start));
    if (session.type == Scenario::Session::Field) {
        stream.unitSize = 4;
        for (const Scenario::FieldRecord &r : session.records) {
            const char unit[4] = {char(r[0]), char(r[1]), 0, char(r[2])};
            stream.units.append(QByteArray(unit, 4));
        }
    } else {
        stream.unitSize = 1;
        for (char sample : session.samples)
            stream.units.append(QByteArray(1, sample));
    }
    return stream;
}

InstrumentMemory::Fit InstrumentMemory::fitsFrom(quint32 start, const Stream &stream,
                                                 Layout *layout) const
{
    const quint32 offset = offsetInSector(start);
    if (offset == 0 || offset + quint32(stream.header.size()) > SectorSize)
        return Fit::BadStart;
    quint32 cursor = start + quint32(stream.header.size());
    for (qsizetype u = 0; u < stream.units.size(); ++u) {
        bool newSector = false;
        const quint32 address = nextUnitAddress(cursor, stream.unitSize, &newSector);
        if (quint64(address) + quint64(stream.unitSize) > entryBlockEnd())
            return Fit::Overflow;
        if (newSector)
            layout->sectorsContinued.append(address - ContinuationPrefix);
        layout->unitAddresses.append(address);
        cursor = address + quint32(stream.unitSize);
    }
    if (cursor >= entryBlockEnd())
        return Fit::Overflow;
    layout->end = cursor;
    return Fit::Fits;
}

bool InstrumentMemory::endMarkIsSafe(quint32 endMark, int unitSize) const
{
    const quint32 offset = offsetInSector(endMark);
    return offset > 1 && offset < SectorSize - quint32(unitSize) && endMark < entryBlockEnd();
}

quint32 InstrumentMemory::nextUnitAddress(quint32 cursor, int unitSize, bool *newSector) const
{
    const quint32 offset = offsetInSector(cursor);
    *newSector = true;
    if (offset == 0)
        return cursor + ContinuationPrefix;
    if (offset + quint32(unitSize) > SectorSize)
        return cursor - offset + SectorSize + ContinuationPrefix;
    *newSector = false;
    return cursor;
}

void InstrumentMemory::write(quint32 address, const QByteArray &bytes)
{
    const qint64 offset = qint64(address - m_entryStart);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        m_entry[offset + i] = bytes.at(i);
    // Units mostly follow each other: keep the image updates few and long.
    if (!m_writes.isEmpty()) {
        Span &last = m_writes.last();
        if (last.address + quint32(last.bytes.size()) == address) {
            last.bytes.append(bytes);
            return;
        }
    }
    m_writes.append({address, bytes});
}
