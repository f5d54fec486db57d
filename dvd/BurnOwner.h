#pragma once
// What the burn window needs of the window that opens it (the recording window), and the burn
// command that window runs: the office shut down, the burn window shown modally over it, the
// office and the show started again.
#include <string>
#include <vector>

class QWidget;

class IBurnOwner {
public:
    virtual ~IBurnOwner() = default;

    // Read when the burn window opens (the files) and when a step starts (the folders).
    // RecordedFiles: the AVI paths recorded in burn mode.
    virtual std::vector<std::string> GetRecordedFiles() = 0;
    // The output folder of the output video options (m_strOutputPath), as typed there.
    virtual std::string GetOutputFolder() = 0;
    // The main window's program folder, ending with '/'.
    virtual std::string GetProgramFolder() = 0;
    // The window the burn window is shown over.
    virtual QWidget* GetOwnerWindow() = 0;

    // The burn command's own steps around the burn window: the office closed if it was started
    // (the hook stays), then started again with the show when the burn window has closed.
    virtual void ShutDownOffice() = 0;
    virtual void RestartOfficeShow() = 0;
};

// The burn command ("&Burn DVD", or Yes to the burn question): ShutDownOffice, the program's
// burn window shown modally with this owner, RestartOfficeShow. Nothing happens when the
// program has no burn window.
void RunBurnCommand(IBurnOwner& owner);
