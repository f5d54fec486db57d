#include "platform/pulse/AudioCapturePage.h"

#include "platform/base/WinShowCmd.h"
#include "platform/com/TaskMemory.h"
#include "platform/pulse/AudioCaptureFilter.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLayout>
#include <QWidget>

#include <cwchar>
#include <new>

namespace {

LPOLESTR TaskString(const wchar_t* text)
{
    std::size_t n = std::wcslen(text) + 1;
    auto* p = static_cast<LPOLESTR>(CoTaskMemAlloc(n * sizeof(wchar_t)));
    if (p) std::wmemcpy(p, text, n);
    return p;
}

}  // namespace

HRESULT CAudioCapturePage::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    auto* page = new (std::nothrow) CAudioCapturePage;
    if (!page) return E_OUTOFMEMORY;
    page->NonDelegatingAddRef();
    HRESULT hr = page->NonDelegatingQueryInterface(riid, ppv);
    page->NonDelegatingRelease();
    return hr;
}

CAudioCapturePage::CAudioCapturePage() : CUnknown(L"CAudioCapturePage", nullptr) {}

CAudioCapturePage::~CAudioCapturePage()
{
    Deactivate();
}

HRESULT CAudioCapturePage::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IID_IPropertyPage) return GetInterface(static_cast<IPropertyPage*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CAudioCapturePage::SetPageSite(IUnknown* pPageSite)
{
    m_site = ComPtr<IUnknown>(pPageSite);
    return S_OK;
}

QString CAudioCapturePage::FormatText(const PcmFormat& f)
{
    return QString("%1 Hz, %2-bit, %3").arg(f.rate).arg(f.bits).arg(f.channels == 1 ? "mono" : "stereo");
}

void CAudioCapturePage::ReleaseObjects()
{
    m_strDevice.clear();
    m_inputs.clear();
    m_config.Reset();
}

HRESULT CAudioCapturePage::SetObjects(ULONG cObjects, IUnknown** ppUnk)
{
    ReleaseObjects();
    m_bDirty = false;
    if (cObjects == 0) return S_OK;
    if (!ppUnk || !ppUnk[0]) return E_POINTER;
    ComPtr<IBaseFilter> filter;
    HRESULT hr = ppUnk[0]->QueryInterface(IID_IBaseFilter, filter.ReleaseAndGetVoidAddressOf());
    if (FAILED(hr) || !filter) return E_NOINTERFACE;

    if (auto* capture = dynamic_cast<CAudioCaptureFilter*>(filter.Get())) {
        m_strDevice = QString::fromStdString(capture->DeviceName());
    } else {
        FILTER_INFO info {};
        if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
            m_strDevice = QString::fromWCharArray(info.achName);
            if (info.pGraph) info.pGraph->Release();
        }
    }
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins) return E_FAIL;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IPin> held;
        held.Attach(pin);
        PIN_INFO info {};
        if (FAILED(pin->QueryPinInfo(&info))) continue;
        if (info.pFilter) info.pFilter->Release();
        if (info.dir == PINDIR_INPUT) {
            Input in;
            in.name = QString::fromWCharArray(info.achName);
            if (SUCCEEDED(pin->QueryInterface(IID_IAMAudioInputMixer, in.mixer.ReleaseAndGetVoidAddressOf())) && in.mixer)
                m_inputs.push_back(std::move(in));
        } else if (!m_config) {
            pin->QueryInterface(IID_IAMStreamConfig, m_config.ReleaseAndGetVoidAddressOf());
        }
    }
    return S_OK;
}

HRESULT CAudioCapturePage::Activate(HWND hWndParent, const RECT* pRect, BOOL)
{
    QWidget* parent = QWidget::find(static_cast<WId>(hWndParent));
    if (!parent) return E_INVALIDARG;
    Deactivate();
    auto* widget = new QWidget(parent);
    widget->setObjectName("AudioCapturePage");
    auto* form = new QFormLayout(widget);
    auto* device = new QLabel(m_strDevice, widget);
    device->setObjectName("device");
    form->addRow("Device:", device);

    m_pInputs = new QComboBox(widget);
    m_pInputs->setObjectName("inputs");
    int enabled = -1;  // none recording: no choice shown
    for (std::size_t i = 0; i < m_inputs.size(); ++i) {
        m_pInputs->addItem(m_inputs[i].name);
        BOOL on = FALSE;
        if (enabled < 0 && SUCCEEDED(m_inputs[i].mixer->get_Enable(&on)) && on) enabled = static_cast<int>(i);
    }
    m_pInputs->setCurrentIndex(enabled);
    form->addRow("Input source:", m_pInputs);

    m_pFormats = new QComboBox(widget);
    m_pFormats->setObjectName("formats");
    std::optional<PcmFormat> current;
    if (m_config) {
        AM_MEDIA_TYPE* pmt = nullptr;
        if (SUCCEEDED(m_config->GetFormat(&pmt)) && pmt) {
            current = PcmFormatFromMediaType(*pmt);
            DeleteMediaType(pmt);
        }
    }
    const auto& formats = SupportedPcmFormats();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        m_pFormats->addItem(FormatText(formats[i]));
        if (current && formats[i] == *current) m_pFormats->setCurrentIndex(static_cast<int>(i));
    }
    m_pFormats->setEnabled(m_config.Get() != nullptr);
    form->addRow("Format:", m_pFormats);

    QObject::connect(m_pInputs, &QComboBox::currentIndexChanged, widget, [this] { m_bDirty = true; });
    QObject::connect(m_pFormats, &QComboBox::currentIndexChanged, widget, [this] { m_bDirty = true; });
    m_bDirty = false;

    if (parent->layout())
        parent->layout()->addWidget(widget);
    else if (pRect)
        widget->setGeometry(pRect->left, pRect->top, pRect->right - pRect->left, pRect->bottom - pRect->top);
    widget->show();
    m_pWidget = widget;
    return S_OK;
}

HRESULT CAudioCapturePage::Deactivate()
{
    delete m_pWidget.data();
    m_pWidget = nullptr;
    m_pInputs = nullptr;
    m_pFormats = nullptr;
    return S_OK;
}

HRESULT CAudioCapturePage::GetPageInfo(PROPPAGEINFO* pPageInfo)
{
    if (!pPageInfo) return E_POINTER;
    pPageInfo->cb = sizeof(PROPPAGEINFO);
    pPageInfo->pszTitle = TaskString(L"Sound Input");
    pPageInfo->size = {340, 120};
    pPageInfo->pszDocString = nullptr;
    pPageInfo->pszHelpFile = nullptr;
    pPageInfo->dwHelpContext = 0;
    return pPageInfo->pszTitle ? S_OK : E_OUTOFMEMORY;
}

HRESULT CAudioCapturePage::Show(UINT nCmdShow)
{
    if (!m_pWidget) return E_UNEXPECTED;
    m_pWidget->setVisible(nCmdShow != SW_HIDE);
    return S_OK;
}

HRESULT CAudioCapturePage::Move(const RECT* pRect)
{
    if (!pRect) return E_POINTER;
    if (!m_pWidget) return E_UNEXPECTED;
    m_pWidget->setGeometry(pRect->left, pRect->top, pRect->right - pRect->left, pRect->bottom - pRect->top);
    return S_OK;
}

HRESULT CAudioCapturePage::Apply()
{
    if (!m_pWidget) return E_UNEXPECTED;
    int input = m_pInputs->currentIndex();
    if (input >= 0 && input < static_cast<int>(m_inputs.size())) {
        HRESULT hr = m_inputs[static_cast<std::size_t>(input)].mixer->put_Enable(TRUE);
        if (FAILED(hr)) return hr;
    }
    int format = m_pFormats->currentIndex();
    if (m_config && format >= 0 && format < static_cast<int>(SupportedPcmFormats().size())) {
        CMediaType mt;
        HRESULT hr = MakeAudioMediaType(SupportedPcmFormats()[static_cast<std::size_t>(format)], &mt);
        if (SUCCEEDED(hr)) hr = m_config->SetFormat(&mt);
        if (FAILED(hr)) return hr;
    }
    m_bDirty = false;
    return S_OK;
}
