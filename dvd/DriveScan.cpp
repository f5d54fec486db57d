#include "dvd/DriveScan.h"

#include "burner/Device.h"

#include <cstdio>

std::string DriveEntryText(const CDevice& device)
{
    // The three texts are at most 256 + 1024 + 1024 characters.
    char szEntry[2400];
    std::snprintf(szEntry, sizeof szEntry, "[%s]%s-%s)", device.GetDeviceName(), device.GetProduct(),
                  device.GetVendor());
    return szEntry;
}

DriveScan ScanDrives(int nRemembered)
{
    DriveScan scan;
    CDevice::FindDevices();
    std::vector<CDevice>& devices = CDevice::Devices();
    for (CDevice& device : devices) {
        device.RefreshDeviceInfo();
        device.RefreshAll();
        scan.m_Entries.push_back(DriveEntryText(device));
    }
    if (scan.m_Entries.empty())
        return scan;
    scan.m_nSelected =
        nRemembered >= 0 && nRemembered < static_cast<int>(scan.m_Entries.size()) ? nRemembered : 0;
    devices[scan.m_nSelected].GetWriteSpeeds(scan.m_Speeds);
    return scan;
}
