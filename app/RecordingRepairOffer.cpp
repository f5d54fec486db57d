#include "app/RecordingRepairOffer.h"

#include "platform/avi/AviRepair.h"
#include "platform/ui/MessageBox.h"

#include <QGuiApplication>

#include <filesystem>

using namespace platform;

void OfferRecordingRepair(platform::CDialog* pParent, const std::string& strFolder)
{
    const std::vector<std::string> files = FindUnfinishedRecordings(strFolder);
    if (files.empty()) return;
    std::string text = files.size() == 1 ? "A recording in the output folder was not finished (the program or the "
                                           "computer stopped while it was recording):\n"
                                         : "Some recordings in the output folder were not finished (the program or the "
                                           "computer stopped while they were recording):\n";
    for (const std::string& file : files)
        text += "\n" + std::filesystem::path(file).filename().string();
    text += "\n\nRepair them now? Every frame and every piece of sound that reached the disk is kept.";
    const HWND owner = pParent ? pParent->GetSafeHwnd() : 0;
    if (MessageBox(owner, text.c_str(), GetAppName().c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) return;

    std::string report;
    bool bAllRepaired = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    for (const std::string& file : files) {
        const AviRepairResult result = RepairAviFile(file);
        bAllRepaired = bAllRepaired && result.Succeeded();
        report += std::filesystem::path(file).filename().string() + ": " + result.Describe() + "\n";
    }
    QGuiApplication::restoreOverrideCursor();
    MessageBox(owner, report.c_str(), GetAppName().c_str(),
               MB_OK | (bAllRepaired ? MB_ICONINFORMATION : MB_ICONWARNING));
}
