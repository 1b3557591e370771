#pragma once

#include "device.h"
#include "message.h"
#include "quorvantis_global.h"

#include <vector>

// One record of the bootloader query's memory map (9 bytes on the wire).
struct MemoryRegion
{
    static constexpr int WireSize = 9;
    static constexpr uchar EndOfList = 0xFF;

    uchar type = 0;
    quint32 address = 0;
    quint32 size = 0; // in addresses

    static MemoryRegion fromBytes(const uchar *bytes);
    bool operator==(const MemoryRegion &other) const
    {
        return type == other.type && address == other.address && size == other.size;
    }
};

// The bootloader query reply, decoded.
struct BootInfo
{
    static constexpr int RegionCount = 6;
    static constexpr uchar ExtendedQuerySupported = 0xA5;

    uchar bytesPerPacket = 0;
    uchar deviceFamily = 0;
    MemoryRegion regions[RegionCount];
    uchar versionFlag = 0;

    static BootInfo fromResponse(const Response &response);
};

// Command 2: packet size, family and memory map of the instrument. Its reply
// sets the device's geometry and replaces the device's memory blocks.
class QUORVANTIS_EXPORT BootloaderInfo : public Message
{
    Q_OBJECT
    Q_PROPERTY(
        std::vector<MemoryRegion> memoryRegions READ memoryRegions NOTIFY memoryRegionsChanged)
    Q_PROPERTY(uchar deviceFamily READ deviceFamily NOTIFY deviceFamilyChanged)
    Q_PROPERTY(uchar versionFlag READ versionFlag NOTIFY versionFlagChanged)

public:
    static constexpr quint32 MaximumBlockSize = 0x0FFFFFFF;

    explicit BootloaderInfo(QObject *parent = nullptr);
    ~BootloaderInfo() override;

    std::vector<MemoryRegion> memoryRegions() const { return m_memoryRegions; }
    uchar deviceFamily() const { return uchar(m_deviceFamily); }
    uchar versionFlag() const { return m_versionFlag; }

public slots:
    ErrorCode read(const Response *response, Device *device) override;

signals:
    void memoryRegionsChanged(std::vector<MemoryRegion> newMemoryRegions);
    void deviceFamilyChanged(uchar newDeviceFamily);
    void versionFlagChanged(uchar newVersionFlag);

private:
    void setMemoryRegions(const MemoryRegion *regions);
    void setDeviceFamily(Device::DeviceFamily family);
    void setVersionFlag(uchar versionFlag);
    void setupDeviceDetails(BootInfo *info, Device *device);
    void setupDeviceMemoryRegions(BootInfo *info, Device *device);
    void addMemoryBlock(Device *device, const MemoryRegion *region, uchar bytesPerAddress);

    std::vector<MemoryRegion> m_memoryRegions;
    Device::DeviceFamily m_deviceFamily = Device::UnknownFamily;
    uchar m_versionFlag = 0;
};

Q_DECLARE_METATYPE(MemoryRegion)
