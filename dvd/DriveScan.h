#pragma once
// The burn window's drive-list refresh, apart from the window: the engine's device list rebuilt
// and every device asked about itself and its disc, on the refresh worker; what the drive and
// speed lists are to show is handed back whole, for the window's thread to put into its controls.
#include "burner/SpeedTables.h"

#include <string>
#include <vector>

class CDevice;

struct DriveScan {
    std::vector<std::string> m_Entries;  // one per device, in device list order
    int m_nSelected = -1;                // the entry to select; -1 when the list is empty
    std::vector<SpeedEntry> m_Speeds;    // the selected device's write speeds
};

// The drive list's text for a device: "[name]product-vendor)".
std::string DriveEntryText(const CDevice& device);

// RefreshDrives: FindDevices, then RefreshDeviceInfo and RefreshAll for each device. The entry
// at nRemembered is selected again, or the first when that is negative or out of range; its
// speeds are read (GetWriteSpeeds). Holds the device list for its whole run: nothing else may
// use it meanwhile.
DriveScan ScanDrives(int nRemembered);
