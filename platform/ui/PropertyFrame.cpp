#include "platform/ui/PropertyFrame.h"

#include "platform/com/ComPtr.h"
#include "platform/com/ObjectCreation.h"
#include "platform/com/TaskMemory.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <vector>

namespace {

QString FromOle(LPCOLESTR text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

// Every page that says it changed something writes it; the first failure is the answer.
HRESULT ApplyPages(const std::vector<ComPtr<IPropertyPage>>& pages)
{
    HRESULT result = S_OK;
    for (const auto& page : pages) {
        if (page->IsPageDirty() != S_OK) continue;
        HRESULT hr = page->Apply();
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

}  // namespace

HRESULT OleCreatePropertyFrame(HWND hwndOwner, UINT x, UINT y, LPCOLESTR lpszCaption, ULONG cObjects, IUnknown** ppUnk,
                               ULONG cPages, const CLSID* pPageClsID, DWORD, DWORD, void*)
{
    if ((cPages && !pPageClsID) || (cObjects && !ppUnk)) return E_POINTER;
    std::vector<ComPtr<IPropertyPage>> pages;
    // All pages are made before anything shows: one that cannot be made fails the frame.
    for (ULONG i = 0; i < cPages; ++i) {
        ComPtr<IPropertyPage> page;
        HRESULT hr = CoCreateInstance(pPageClsID[i], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                      page.ReleaseAndGetVoidAddressOf());
        if (SUCCEEDED(hr) && !page) hr = E_NOINTERFACE;
        if (SUCCEEDED(hr)) hr = page->SetObjects(cObjects, ppUnk);
        if (FAILED(hr)) {
            for (auto& made : pages) made->SetObjects(0, nullptr);
            return hr;
        }
        pages.push_back(std::move(page));
    }

    QWidget* owner = hwndOwner ? QWidget::find(static_cast<WId>(hwndOwner)) : nullptr;
    QDialog dialog(owner);
    dialog.setObjectName("PropertyFrame");
    dialog.setWindowTitle(FromOle(lpszCaption) + " Properties");
    auto* layout = new QVBoxLayout(&dialog);
    auto* tabs = new QTabWidget(&dialog);
    tabs->setObjectName("pages");
    layout->addWidget(tabs);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, &dialog);
    layout->addWidget(buttons);

    for (const auto& page : pages) {
        PROPPAGEINFO info {};
        info.cb = sizeof(info);
        QString title;
        SIZE size {0, 0};
        if (SUCCEEDED(page->GetPageInfo(&info))) {
            title = FromOle(info.pszTitle);
            size = info.size;
            CoTaskMemFree(info.pszTitle);
            CoTaskMemFree(info.pszDocString);
            CoTaskMemFree(info.pszHelpFile);
        }
        auto* area = new QWidget;
        auto* areaLayout = new QVBoxLayout(area);
        areaLayout->setContentsMargins(0, 0, 0, 0);
        if (size.cx > 0 && size.cy > 0) area->setMinimumSize(size.cx, size.cy);
        tabs->addTab(area, title);
        RECT rc {0, 0, size.cx, size.cy};
        HRESULT hr = page->Activate(static_cast<HWND>(area->winId()), &rc, TRUE);
        if (FAILED(hr)) tabs->setTabEnabled(tabs->count() - 1, false);  // shown, but empty
    }

    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
        // A page that refuses its values keeps the frame open.
        if (SUCCEEDED(ApplyPages(pages))) dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(buttons->button(QDialogButtonBox::Apply), &QPushButton::clicked, &dialog, [&] { ApplyPages(pages); });

    if (owner) dialog.move(owner->mapToGlobal(QPoint(static_cast<int>(x), static_cast<int>(y))));
    dialog.exec();

    for (const auto& page : pages) {
        page->Deactivate();
        page->SetObjects(0, nullptr);
    }
    return S_OK;
}
