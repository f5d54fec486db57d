#include "RecordWindowSupport.h"

#include "options/OptionFile.h"
#include "platform/office/PowerPointApplication.h"
#include "support/OfficeProfiles.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <thread>

namespace recordtest {

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        QApplication::processEvents();
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void RunWindow(recording::CRecordDlg& dlg, const std::function<void()>& body)
{
    QTimer::singleShot(0, &dlg, [&] {
        body();
        dlg.close();
    });
    dlg.DoModal();
}

bool MakeDecks(const std::string& folder,
               const std::vector<std::pair<std::string, officetest::ShowOptions>>& decks)
{
    testsupport::UsePrivateOfficeProfiles();
    std::string error;
    auto app = office::Application::Create(&error);
    if (!app) {
        ADD_FAILURE() << error;
        return false;
    }
    for (const auto& [name, options] : decks)
        if (!officetest::MakePresentations(*app->Session(), folder, name, options))
            return false;
    return true;
}

void SaveSlideArea(int width, int height)
{
    options::CBurnSettings burn;
    options::CRecordingOptions record(burn);
    record.m_nPptWidth = width;
    record.m_nPptHeight = height;
    options::COptionFile(options::kRecordingOptionsFile).SaveRecord(record);
}

}  // namespace recordtest
