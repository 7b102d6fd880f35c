// Found storage devices and the program-wide list of them; portable.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One device as its discovery reply describes it.
struct NAS_DEVICE_INFO {
    std::uint8_t mac[6]; // the key: no two records in a list share it
    char name[15];       // up to the first NUL, or all 15 bytes when none is NUL
    std::uint32_t ip;    // IPv4 address in network byte order
};

// The name as text, cut at its first NUL.
std::string DeviceNameText(const NAS_DEVICE_INFO& device);
// Dotted text of an IPv4 address in network byte order, as "10.0.0.2".
std::string IPv4Text(std::uint32_t nAddr);

// Devices in the order in which they were first found. Records live as long as the list and keep
// their address and position: the list only grows.
class CDeviceList {
public:
    int GetCount() const { return static_cast<int>(m_arrDevices.size()); }
    // The record at nIndex, or null when there is none.
    NAS_DEVICE_INFO* GetAt(int nIndex) const;
    // The record with this mac, or null.
    NAS_DEVICE_INFO* Find(const std::uint8_t (&mac)[6]) const;
    // Appends a copy of device at the tail and returns it.
    NAS_DEVICE_INFO* AddTail(const NAS_DEVICE_INFO& device);

private:
    std::vector<std::unique_ptr<NAS_DEVICE_INFO>> m_arrDevices;
};

// The program's device list: filled by searches, read by the device list panel and the command
// line front end, each only while no search runs.
extern CDeviceList g_DeviceList;
