#pragma once
// The program's automation object: one per connected client. It keeps the program alive and
// links itself to the main window both ways while it lives.
#include "platform/automation/OleObjectFactory.h"

class CVantorelDlg;

// {1883B2AD-5FBE-4223-9797-AC1D0097E4D9}
constexpr CLSID CLSID_VantorelApplication {0x1883B2AD, 0x5FBE, 0x4223, {0x97, 0x97, 0xAC, 0x1D, 0x00, 0x97, 0xE4, 0xD9}};
// {CDC4C1A8-C987-446B-87AD-B8BCD60EF06F}: the dispatch interface, which has no members.
constexpr IID IID_IVantorel {0xCDC4C1A8, 0xC987, 0x446B, {0x87, 0xAD, 0xB8, 0xBC, 0xD6, 0x0E, 0xF0, 0x6F}};
constexpr const char* kVantorelProgId = "Vantorel.Application";

class CVantorelDlgAutoProxy : public platform::CCmdTarget {
public:
    // Links to dialog, or, when null, to the application's main window.
    explicit CVantorelDlgAutoProxy(CVantorelDlg* pDialog = nullptr);
    ~CVantorelDlgAutoProxy() override;
    CVantorelDlgAutoProxy(const CVantorelDlgAutoProxy&) = delete;
    CVantorelDlgAutoProxy& operator=(const CVantorelDlgAutoProxy&) = delete;

    CVantorelDlg* m_pDialog = nullptr;
};
