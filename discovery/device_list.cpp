// Found storage devices and the program-wide list of them; portable.
#include "discovery/device_list.h"

#include <cstring>

CDeviceList g_DeviceList;

std::string DeviceNameText(const NAS_DEVICE_INFO& device) {
    const void* pEnd = std::memchr(device.name, 0, sizeof device.name);
    const std::size_t n = pEnd ? static_cast<const char*>(pEnd) - device.name : sizeof device.name;
    return std::string(device.name, n);
}

std::string IPv4Text(std::uint32_t nAddr) {
    std::uint8_t b[4];
    std::memcpy(b, &nAddr, sizeof b);
    return std::to_string(b[0]) + '.' + std::to_string(b[1]) + '.' + std::to_string(b[2]) + '.' +
           std::to_string(b[3]);
}

NAS_DEVICE_INFO* CDeviceList::GetAt(int nIndex) const {
    if (nIndex < 0 || nIndex >= GetCount())
        return nullptr;
    return m_arrDevices[static_cast<std::size_t>(nIndex)].get();
}

NAS_DEVICE_INFO* CDeviceList::Find(const std::uint8_t (&mac)[6]) const {
    for (const auto& pDevice : m_arrDevices)
        if (std::memcmp(pDevice->mac, mac, sizeof mac) == 0)
            return pDevice.get();
    return nullptr;
}

NAS_DEVICE_INFO* CDeviceList::AddTail(const NAS_DEVICE_INFO& device) {
    m_arrDevices.push_back(std::make_unique<NAS_DEVICE_INFO>(device));
    return m_arrDevices.back().get();
}
