// The property frame with a test page class: tabs, the page's native parent, OK / Cancel /
// Apply, and a page class that cannot be made.
#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/TaskMemory.h"
#include "platform/dshow/BaseUnknown.h"
#include "platform/ui/PropertyFrame.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cwchar>
#include <functional>

namespace {

constexpr CLSID CLSID_TestPage {0x7E57C0DE, 0x0101, 0x0202, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};
constexpr CLSID CLSID_NoSuchPage {0x7E57C0DE, 0x0101, 0x0203, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}};

// What the pages of one test saw.
struct PageLog {
    int made = 0, activated = 0, deactivated = 0, applied = 0, released = 0;
    ULONG objects = 0;
    IUnknown* firstObject = nullptr;
    QWidget* parent = nullptr;
    bool dirty = true;
};
PageLog g_log;

LPOLESTR TaskString(const wchar_t* text)
{
    std::size_t n = std::wcslen(text) + 1;
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc(n * sizeof(wchar_t)));
    if (p) std::wmemcpy(p, text, n);
    return p;
}

class CTestPage final : public CUnknown, public IPropertyPage {
public:
    CTestPage() : CUnknown(L"CTestPage", nullptr) { ++g_log.made; }
    ~CTestPage() override { ++g_log.released; }
    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv)
    {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* p = new CTestPage;
        p->NonDelegatingAddRef();
        HRESULT hr = p->NonDelegatingQueryInterface(riid, ppv);
        p->NonDelegatingRelease();
        return hr;
    }
    HRESULT SetPageSite(IUnknown*) override { return S_OK; }
    HRESULT Activate(HWND hWndParent, const RECT*, BOOL) override
    {
        ++g_log.activated;
        g_log.parent = QWidget::find(static_cast<WId>(hWndParent));
        if (!g_log.parent) return E_INVALIDARG;
        m_pLabel = new QLabel("test page", g_log.parent);
        m_pLabel->setObjectName("testPageLabel");
        if (g_log.parent->layout()) g_log.parent->layout()->addWidget(m_pLabel);
        return S_OK;
    }
    HRESULT Deactivate() override
    {
        ++g_log.deactivated;
        delete m_pLabel;
        m_pLabel = nullptr;
        return S_OK;
    }
    HRESULT GetPageInfo(PROPPAGEINFO* p) override
    {
        p->pszTitle = TaskString(L"Test Page");
        p->size = {200, 100};
        p->pszDocString = nullptr;
        p->pszHelpFile = nullptr;
        return S_OK;
    }
    HRESULT SetObjects(ULONG n, IUnknown** pp) override
    {
        g_log.objects = n;
        g_log.firstObject = n ? pp[0] : nullptr;
        return S_OK;
    }
    HRESULT Show(UINT) override { return S_OK; }
    HRESULT Move(const RECT*) override { return S_OK; }
    HRESULT IsPageDirty() override { return g_log.dirty ? S_OK : S_FALSE; }
    HRESULT Apply() override
    {
        ++g_log.applied;
        return S_OK;
    }
    HRESULT Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT TranslateAccelerator(void*) override { return S_FALSE; }

private:
    QLabel* m_pLabel = nullptr;
};

class PropertyFrame : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_log = {};
        CoRegisterBuiltInClass(CLSID_TestPage, &CTestPage::Create);
    }
    void TearDown() override { CoRevokeBuiltInClass(CLSID_TestPage); }

    // Runs the frame; 'act' runs once the dialog shows.
    HRESULT Show(const CLSID* pages, ULONG count, const std::function<void(QDialog*)>& act)
    {
        QTimer::singleShot(0, [this, act] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            m_bShown = dialog != nullptr;
            if (!dialog) return;
            act(dialog);
            if (dialog->isVisible()) dialog->reject();  // never leave a test hanging
        });
        IUnknown* objects[] = {&m_object};
        return OleCreatePropertyFrame(0, 0, 0, L"Sound Device", 1, objects, count, pages, 0, 0, nullptr);
    }
    static QPushButton* Button(QDialog* d, QDialogButtonBox::StandardButton which)
    {
        auto* box = d->findChild<QDialogButtonBox*>();
        return box ? box->button(which) : nullptr;
    }

    struct CObject final : IUnknown {
        HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG AddRef() override { return 2; }
        ULONG Release() override { return 1; }
    } m_object;
    bool m_bShown = false;
};

TEST_F(PropertyFrame, ShowsOneTabPerPageInsideTheFrameAndAppliesOnOk)
{
    CLSID pages[] = {CLSID_TestPage, CLSID_TestPage};
    HRESULT hr = Show(pages, 2, [&](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Sound Device Properties");
        auto* tabs = d->findChild<QTabWidget*>();
        ASSERT_NE(tabs, nullptr);
        ASSERT_EQ(tabs->count(), 2);
        EXPECT_EQ(tabs->tabText(0), "Test Page");
        EXPECT_EQ(g_log.activated, 2);
        EXPECT_EQ(g_log.parent, tabs->widget(1)) << "the page went into its tab's window";
        EXPECT_EQ(g_log.objects, 1u);
        EXPECT_EQ(g_log.firstObject, &m_object);
        EXPECT_EQ(tabs->widget(0)->findChildren<QLabel*>("testPageLabel").size(), 1);

        Button(d, QDialogButtonBox::Apply)->click();
        EXPECT_EQ(g_log.applied, 2) << "Apply writes every page that changed";
        EXPECT_TRUE(d->isVisible()) << "and keeps the frame open";
        g_log.dirty = false;
        Button(d, QDialogButtonBox::Apply)->click();
        EXPECT_EQ(g_log.applied, 2) << "a page without changes is not applied";
        g_log.dirty = true;
        Button(d, QDialogButtonBox::Ok)->click();
        EXPECT_FALSE(d->isVisible());
    });
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(m_bShown);
    EXPECT_EQ(g_log.applied, 4) << "OK applies, then closes";
    EXPECT_EQ(g_log.deactivated, 2);
    EXPECT_EQ(g_log.objects, 0u) << "the pages let go of the objects";
    EXPECT_EQ(g_log.released, 2);
}

TEST_F(PropertyFrame, CancelClosesWithoutApplying)
{
    HRESULT hr = Show(&CLSID_TestPage, 1, [&](QDialog* d) { Button(d, QDialogButtonBox::Cancel)->click(); });
    EXPECT_EQ(hr, S_OK);
    EXPECT_TRUE(m_bShown);
    EXPECT_EQ(g_log.applied, 0);
    EXPECT_EQ(g_log.deactivated, 1);
}

TEST_F(PropertyFrame, APageThatCannotBeMadeFailsTheFrameBeforeItShows)
{
    CLSID pages[] = {CLSID_TestPage, CLSID_NoSuchPage};
    HRESULT hr = Show(pages, 2, [](QDialog*) {});
    QApplication::processEvents();  // lets the pending check run: it must find no dialog
    EXPECT_EQ(hr, REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(m_bShown);
    EXPECT_EQ(g_log.activated, 0);
    EXPECT_EQ(g_log.objects, 0u) << "the page made first let go of the objects";
    EXPECT_EQ(g_log.released, 1);
}

}  // namespace
