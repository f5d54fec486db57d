// Playback switches, rehearsal and the office bars against the real LibreOffice Impress on a
// private X server: what the show plays and what its window shows.
#include <gtest/gtest.h>

#include "platform/office/ImpressSession.h"
#include "platform/office/PowerPointApplication.h"
#include "platform/office/ShowScreen.h"
#include "platform/office/TestPresentations.h"
#include "platform/screen/PrivateXServer.h"
#include "platform/x11/WindowFunctions.h"
#include "support/OfficeProfiles.h"
#include "support/TempDir.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/presentation/XPresentation2.hpp>
#include <com/sun/star/presentation/XPresentationSupplier.hpp>
#include <com/sun/star/util/XFlushable.hpp>

#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

namespace {

using namespace office;
using namespace officetest;
namespace css = com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using rtl::OUString;

constexpr const char* kMarker = "{F2A8A4B1-A100-49ce-8D88-664611FEC98B}";

class ShowPlaybackTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        testsupport::UsePrivateOfficeProfiles();
        s_pServer = new screentest::CPrivateXServer("1280x1024x24");
        s_pFolder = new testsupport::TempDir();
        std::string error;
        s_app = Application::Create(&error);
        if (!s_app) {
            s_strError = error;
            return;
        }
        ShowOptions effects;
        effects.slides = 3;
        effects.manualAdvance = true;
        effects.clickEffect = true;
        auto t = Clock::now();
        ShowOptions timed;
        timed.slides = 3;
        timed.pageSound = false;
        s_bMade = MakePresentations(*s_app->Session(), s_pFolder->path().string(), "effects",
                                    effects)
            && MakePresentations(*s_app->Session(), s_pFolder->path().string(), "timed", timed);
        std::printf("made the presentations: %.0f ms\n", MsSince(t));
    }
    static void TearDownTestSuite()
    {
        s_app.reset();
        delete s_pFolder;
        delete s_pServer;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_pServer->IsRunning());
        ASSERT_TRUE(s_app) << s_strError;
        ASSERT_TRUE(s_bMade);
    }
    void TearDown() override
    {
        if (!s_app || !s_app->Session()->IsAlive())
            return;
        auto presentations = s_app->get_Presentations();
        while (presentations->get_Count() >= 1)
            if (FAILED(presentations->Item(1)->Close()))
                break;
    }
    static std::string File(const std::string& name)
    {
        return s_pFolder->path().string() + "/" + name;
    }

    static screentest::CPrivateXServer* s_pServer;
    static testsupport::TempDir* s_pFolder;
    static std::shared_ptr<Application> s_app;
    static std::string s_strError;
    static bool s_bMade;
};

screentest::CPrivateXServer* ShowPlaybackTest::s_pServer = nullptr;
testsupport::TempDir* ShowPlaybackTest::s_pFolder = nullptr;
std::shared_ptr<Application> ShowPlaybackTest::s_app;
std::string ShowPlaybackTest::s_strError;
bool ShowPlaybackTest::s_bMade = false;

// The pages that play a sound when they appear.
long PagesWithSound(const Reference<css::lang::XComponent>& component)
{
    Reference<css::drawing::XDrawPagesSupplier> supplier(component, UNO_QUERY);
    auto pages = supplier->getDrawPages();
    long count = 0;
    for (sal_Int32 i = 0; i < pages->getCount(); ++i) {
        Reference<css::beans::XPropertySet> props(pages->getByIndex(i), UNO_QUERY);
        OUString url;
        if ((props->getPropertyValue("Sound") >>= url) && !url.isEmpty())
            ++count;
    }
    return count;
}

struct FileState {
    std::string bytes;
    std::filesystem::file_time_type time;
    bool operator==(const FileState& other) const
    {
        return bytes == other.bytes && time == other.time;
    }
};

FileState StateOf(const std::string& path)
{
    return {testsupport::ReadFile(path), std::filesystem::last_write_time(path)};
}

std::shared_ptr<SlideShowWindow> RunWindowShow(Presentation& presentation, long withAnimation,
                                               long withNarration, long advanceMode)
{
    auto settings = presentation.get_SlideShowSettings();
    settings->put_ShowType(ppShowTypeWindow);
    settings->put_AdvanceMode(advanceMode);
    settings->put_ShowWithAnimation(withAnimation);
    settings->put_ShowWithNarration(withNarration);
    return settings->Run();
}

TEST_F(ShowPlaybackTest, PageSoundsReadAsNarrationOnAndNarrationOffSilencesOnlyTheShow)
{
    for (const char* ext : {".ppt", ".pptx", ".odp"}) {
        SCOPED_TRACE(ext);
        std::string path = File(std::string("effects") + ext);
        FileState before = StateOf(path);
        for (long narration : {1L, 0L}) {
            SCOPED_TRACE(narration);
            auto presentation = s_app->get_Presentations()->Open(path, 1, 0, 1);
            ASSERT_TRUE(presentation);
            auto component = s_app->Session()->Component(presentation->Id());
            // The file's sounds came back, and PowerPoint reads such a presentation as narrated.
            EXPECT_EQ(PagesWithSound(component), 3);
            EXPECT_EQ(presentation->get_SlideShowSettings()->get_ShowWithNarration(), 1);
            auto window = RunWindowShow(*presentation, 1, narration, ppSlideShowManualAdvance);
            ASSERT_TRUE(window);
            EXPECT_EQ(PagesWithSound(component), narration ? 3 : 0);
            ASSERT_EQ(window->get_View()->Next(), S_OK);
            EXPECT_EQ(window->get_View()->get_CurrentShowPosition(), 2);
            ASSERT_EQ(presentation->Close(), S_OK);
        }
        // The presentation is read-only: silencing the show never reaches the file.
        EXPECT_TRUE(StateOf(path) == before);
    }
}

// Where the slide sits in the window: a show letterboxes a slide whose shape differs from the
// window's, so the slide is found by its colour along the middle row and column.
struct SlideArea {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    std::uint32_t At(const WindowImage& image, double fx, double fy) const
    {
        return image.At(left + static_cast<int>(fx * (right - left)),
                        top + static_cast<int>(fy * (bottom - top)));
    }
};

SlideArea FindSlide(const WindowImage& image, std::uint32_t colour)
{
    SlideArea area;
    // The middle row and column of a centred slide miss its number (top left) but may cross
    // the square, which lies between slide pixels.
    int midY = image.Height() / 2, midX = image.Width() / 2;
    area.left = image.Width();
    area.top = image.Height();
    for (int x = 0; x < image.Width(); ++x)
        if (Near(image.At(x, midY), colour)) {
            area.left = std::min(area.left, x);
            area.right = x + 1;
        }
    for (int y = 0; y < image.Height(); ++y)
        if (Near(image.At(midX, y), colour)) {
            area.top = std::min(area.top, y);
            area.bottom = y + 1;
        }
    return area;
}

HWND MainWindow()
{
    HWND main = 0;
    WaitFor([&] { return (main = platform::FindWindowA(nullptr, kMarker)) != 0; }, 5000);
    return main;
}

// The square that enters on a click, as the screen shows it now.
bool ShowsSquare(HWND window)
{
    WindowImage image;
    if (!CaptureWindow(window, &image))
        return false;
    SlideArea slide = FindSlide(image, SlideColour(1));
    if (slide.Empty())
        return false;
    return Near(slide.At(image, (kEffectLeft + kEffectRight) / 2, (kEffectTop + kEffectBottom) / 2),
                kEffectColour);
}

bool ShowsSlideBackground(HWND window, long n)
{
    WindowImage image;
    if (!CaptureWindow(window, &image))
        return false;
    SlideArea slide = FindSlide(image, SlideColour(n));
    return !slide.Empty() && slide.right - slide.left > image.Width() / 3
        && Near(slide.At(image, 0.5, 0.5), SlideColour(n));
}

TEST_F(ShowPlaybackTest, AnimationsOffShowsTheClickEntranceAtOnce)
{
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    auto presentation = s_app->get_Presentations()->Open(File("effects.ppt"), 1, 0, 1);
    ASSERT_TRUE(presentation);
    auto t = Clock::now();
    ASSERT_TRUE(RunWindowShow(*presentation, 0, 1, ppSlideShowManualAdvance));
    HWND main = MainWindow();
    ASSERT_NE(main, 0u);
    EXPECT_TRUE(WaitFor([&] { return ShowsSquare(main); }, 3000));
    std::printf("run to the square on screen: %.0f ms\n", MsSince(t));
}

TEST_F(ShowPlaybackTest, AnimationsOnKeepTheClickEntranceHiddenUntilTheClick)
{
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    auto presentation = s_app->get_Presentations()->Open(File("effects.ppt"), 1, 0, 1);
    ASSERT_TRUE(presentation);
    ASSERT_TRUE(RunWindowShow(*presentation, 1, 1, ppSlideShowManualAdvance));
    HWND main = MainWindow();
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(WaitFor([&] { return ShowsSlideBackground(main, 1); }, 3000));
    // The slide is up; its square waits for the click however long it takes.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_FALSE(ShowsSquare(main));
    // The click, as the show's own controller takes it (View.Next steps slide by slide).
    Reference<css::presentation::XPresentationSupplier> supplier(
        s_app->Session()->Component(presentation->Id()), UNO_QUERY);
    Reference<css::presentation::XPresentation2> show(supplier->getPresentation(), UNO_QUERY);
    ASSERT_TRUE(show.is() && show->getController().is());
    auto t = Clock::now();
    show->getController()->gotoNextEffect();
    EXPECT_TRUE(WaitFor([&] { return ShowsSquare(main); }, 3000));
    std::printf("click to the square on screen: %.0f ms\n", MsSince(t));
    EXPECT_EQ(presentation->get_SlideShowWindow()->get_View()->get_CurrentShowPosition(), 1);
}

TEST_F(ShowPlaybackTest, RehearsalStartsTheShowAndNextAdvancesIt)
{
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    auto presentation = s_app->get_Presentations()->Open(File("timed.ppt"), 1, 0, 1);
    ASSERT_TRUE(presentation);
    auto t = Clock::now();
    auto window = RunWindowShow(*presentation, 1, 1, ppSlideShowRehearseNewTimings);
    ASSERT_TRUE(window);
    HWND main = MainWindow();
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(WaitFor([&] { return ShowsSlideBackground(main, 1); }, 3000));
    std::printf("rehearsal to the first slide: %.0f ms\n", MsSince(t));
    auto view = window->get_View();
    EXPECT_EQ(view->get_CurrentShowPosition(), 1);
    // A rehearsal is timed by the presenter: the slides' own timings (a second) do not move it.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(view->get_CurrentShowPosition(), 1);
    for (long n : {2L, 3L}) {
        ASSERT_EQ(view->Next(), S_OK);
        EXPECT_EQ(view->get_CurrentShowPosition(), n);
        EXPECT_TRUE(WaitFor([&] { return ShowsSlideBackground(main, n); }, 2000)) << n;
    }
}

// The office's profile, file by file: a hidden bar written there would outlive the show. (The
// office rewrites its settings file on a flush, so only the contents count.)
std::map<std::string, std::string> ProfileFiles(CImpressSession& session)
{
    // Settings reach the files lazily: write out what the office holds first.
    Reference<css::util::XFlushable> settings(
        css::configuration::theDefaultProvider::get(session.Context()), UNO_QUERY);
    if (settings.is())
        settings->flush();
    std::map<std::string, std::string> files;
    for (auto& entry : std::filesystem::recursive_directory_iterator(session.Profile()))
        if (entry.is_regular_file() && entry.path().filename() != ".lock")
            files[entry.path().string()] = testsupport::ReadFile(entry.path().string());
    return files;
}

Reference<css::beans::XPropertySet> LayoutManagerOf(const Reference<css::lang::XComponent>& c)
{
    Reference<css::frame::XModel> model(c, UNO_QUERY);
    Reference<css::beans::XPropertySet> frame(model->getCurrentController()->getFrame(),
                                              UNO_QUERY);
    return Reference<css::beans::XPropertySet>(frame->getPropertyValue("LayoutManager"),
                                               UNO_QUERY);
}

bool HidesUi(const Reference<css::beans::XPropertySet>& layout)
{
    bool hidden = false;
    layout->getPropertyValue("HideCurrentUI") >>= hidden;
    return hidden;
}

long ForeignPixels(HWND window, long slide)
{
    return officetest::ForeignPixels(window, SlideColour(slide));
}

TEST_F(ShowPlaybackTest, WindowShowHidesTheOfficeBarsAndPutsThemBackWhenItEnds)
{
    ASSERT_EQ(s_app->put_Caption(kMarker), S_OK);
    ASSERT_EQ(s_app->put_Visible(1), S_OK);
    // The first window an office shows on a new profile writes its toolbars' places and the
    // first start into the profile: a window and its show first, so that only what the bars'
    // hiding would write is compared below.
    {
        auto first = s_app->get_Presentations()->Open(File("timed.ppt"), 1, 0, 1);
        ASSERT_TRUE(first);
        ASSERT_TRUE(RunWindowShow(*first, 1, 1, ppSlideShowManualAdvance));
        HWND main = MainWindow();
        ASSERT_TRUE(WaitFor([&] { return ShowsSlideBackground(main, 1); }, 3000));
        ASSERT_EQ(first->Close(), S_OK);
    }
    auto presentation = s_app->get_Presentations()->Open(File("timed.odp"), 1, 0, 1);
    ASSERT_TRUE(presentation);
    auto component = s_app->Session()->Component(presentation->Id());
    auto layout = LayoutManagerOf(component);
    ASSERT_TRUE(layout.is());
    ASSERT_FALSE(HidesUi(layout));
    // The window takes the slide's shape, so that the slide alone can fill it.
    Reference<css::drawing::XDrawPagesSupplier> pages(component, UNO_QUERY);
    Reference<css::beans::XPropertySet> page(pages->getDrawPages()->getByIndex(0), UNO_QUERY);
    sal_Int32 width = 0, height = 0;
    page->getPropertyValue("Width") >>= width;
    page->getPropertyValue("Height") >>= height;
    HWND main = MainWindow();
    ASSERT_NE(main, 0u);
    ASSERT_TRUE(platform::MoveWindow(main, 50, 50, 800, 800 * height / width, TRUE));
    auto profile = ProfileFiles(*s_app->Session());

    // With the bars as they are, the office's menus and toolbars share the window.
    ASSERT_TRUE(RunWindowShow(*presentation, 1, 1, ppSlideShowManualAdvance));
    ASSERT_TRUE(WaitFor([&] { return ShowsSlideBackground(main, 1); }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long withBars = ForeignPixels(main, 1);
    std::printf("window pixels not of the slide, bars shown: %ld\n", withBars);
    EXPECT_GT(withBars, 800 * 10);

    // Hidden the way the recording window does it (after the show started; then for the next
    // run before it starts): only the slide is left. The show goes on where it stood.
    auto view = presentation->get_SlideShowWindow()->get_View();
    ASSERT_EQ(view->Next(), S_OK);
    size_t logged = presentation->SlideChanges().size();
    auto bars = s_app->get_CommandBars();
    ASSERT_EQ(bars->Item("Web")->put_Property(3), S_OK);
    ASSERT_EQ(bars->Item("Menu Bar (Slide Show)")->put_Property(3), S_OK);
    EXPECT_TRUE(HidesUi(layout));
    EXPECT_EQ(view->get_CurrentShowPosition(), 2);
    EXPECT_EQ(presentation->SlideChanges().size(), logged);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        if (run == 1)
            ASSERT_TRUE(presentation->get_SlideShowSettings()->Run());
        long foreign = -1;
        long slide = run == 0 ? 2 : 1;
        EXPECT_TRUE(WaitFor([&] { return (foreign = ForeignPixels(main, slide)) == 0; }, 3000))
            << foreign << " window pixels are not the slide";
        EXPECT_TRUE(HidesUi(layout));
    }

    // The show ends as Escape ends it: the window gets its bars back.
    Reference<css::presentation::XPresentationSupplier> show(component, UNO_QUERY);
    show->getPresentation()->end();
    EXPECT_TRUE(WaitFor([&] { return !HidesUi(layout); }, 2000));
    EXPECT_TRUE(WaitFor([&] { return ForeignPixels(main, 1) > 800 * 10; }, 2000));
    // The recording window writes the remembered values back at its end.
    EXPECT_EQ(bars->Item("Web")->put_Property(0), S_OK);
    EXPECT_EQ(bars->Item("Menu Bar (Slide Show)")->put_Property(0), S_OK);
    EXPECT_FALSE(HidesUi(layout));
    auto after = ProfileFiles(*s_app->Session());
    for (auto& [path, bytes] : after)
        EXPECT_TRUE(profile.count(path) && profile[path] == bytes) << path << " changed";
    EXPECT_EQ(after.size(), profile.size());
}

}  // namespace
