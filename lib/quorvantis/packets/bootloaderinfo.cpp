#include "bootloaderinfo.h"

#include <QDebug>

namespace {

quint32 uint32LE(const uchar *bytes)
{
    return quint32(bytes[0]) | quint32(bytes[1]) << 8 | quint32(bytes[2]) << 16 |
           quint32(bytes[3]) << 24;
}

} // namespace

MemoryRegion MemoryRegion::fromBytes(const uchar *bytes)
{
    MemoryRegion region;
    region.type = bytes[0];
    region.address = uint32LE(bytes + 1);
    region.size = uint32LE(bytes + 5);
    return region;
}

BootInfo BootInfo::fromResponse(const Response &response)
{
    BootInfo info;
    info.bytesPerPacket = response[1];
    info.deviceFamily = response[2];
    for (int i = 0; i < RegionCount; ++i)
        info.regions[i] = MemoryRegion::fromBytes(response.data() + 3 + i * MemoryRegion::WireSize);
    info.versionFlag = response[57];
    return info;
}

BootloaderInfo::BootloaderInfo(QObject *parent) : Message(2, true, parent) {}

BootloaderInfo::~BootloaderInfo()
{
    Device::forgetPacket(this);
}

Message::ErrorCode BootloaderInfo::read(const Response *response, Device *device)
{
    const ErrorCode result = Message::read(response, device);
    if (result != Success)
        return result;

    BootInfo info = BootInfo::fromResponse(*response);
    setVersionFlag(info.versionFlag);
    setDeviceFamily(Device::DeviceFamily(info.deviceFamily));
    setMemoryRegions(info.regions);
    setupDeviceDetails(&info, device);
    setupDeviceMemoryRegions(&info, device);
    return Success;
}

void BootloaderInfo::setMemoryRegions(const MemoryRegion *regions)
{
    m_memoryRegions.assign(regions, regions + BootInfo::RegionCount);
    emit memoryRegionsChanged(m_memoryRegions);
}

void BootloaderInfo::setDeviceFamily(Device::DeviceFamily family)
{
    m_deviceFamily = family;
    emit deviceFamilyChanged(uchar(family));
}

void BootloaderInfo::setVersionFlag(uchar versionFlag)
{
    m_versionFlag = versionFlag;
    emit versionFlagChanged(versionFlag);
}

void BootloaderInfo::setupDeviceDetails(BootInfo *info, Device *device)
{
    device->setFamily(Device::DeviceFamily(info->deviceFamily));
    DeviceInformation *details = device->details();
    details->bytesPerPacket = info->bytesPerPacket;
    switch (info->deviceFamily) {
    case 2:
        details->flashBytesPerWord = 4;
        details->flashBytesPerAddress = 2;
        details->configBytesPerWord = 4;
        details->configBytesPerAddress = 2;
        break;
    case 3:
        details->flashBytesPerWord = 4;
        details->flashBytesPerAddress = 1;
        break;
    case 4:
        details->flashBytesPerWord = 2;
        details->flashBytesPerAddress = 2;
        break;
    default:
        details->flashBytesPerWord = 2;
        details->flashBytesPerAddress = 1;
        break;
    }
}

void BootloaderInfo::setupDeviceMemoryRegions(BootInfo *info, Device *device)
{
    device->clearMemoryBlocks();
    const DeviceInformation *details = device->details();
    for (MemoryRegion &region : info->regions) {
        if (region.size > MaximumBlockSize)
            region.size = MaximumBlockSize;
        switch (region.type) {
        case FlashMemoryBlock:
        case DeviceIDMemoryBlock:
            addMemoryBlock(device, &region, details->flashBytesPerAddress);
            break;
        case EepromMemoryBlock:
        case DataEntryMemoryBlock:
            addMemoryBlock(device, &region, details->eepromBytesPerAddress);
            break;
        case ConfigMemoryBlock:
            addMemoryBlock(device, &region, details->configBytesPerAddress);
            break;
        case MemoryRegion::EndOfList:
            return;
        default:
            qWarning("Unknown memory region type %d", int(region.type));
            return;
        }
    }
}

void BootloaderInfo::addMemoryBlock(Device *device, const MemoryRegion *region,
                                    uchar bytesPerAddress)
{
    MemoryBlock block;
    block.type = MemoryBlockType(region->type);
    block.address = region->address;
    block.size = region->size;
    block.bytesPerAddress = bytesPerAddress;
    device->addMemoryBlock(block);
}
