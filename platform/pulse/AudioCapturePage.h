#pragma once
// The sound capture filter's property page (CLSID_AudioCapturePropertyPage): the device's name,
// the input that records and the capture format. Apply writes them through the pins'
// IAMAudioInputMixer and IAMStreamConfig, so it works on any filter with such pins.
#include "platform/com/ComPtr.h"
#include "platform/dshow/BaseUnknown.h"
#include "platform/dshow/CaptureInterfaces.h"
#include "platform/pulse/AudioFormats.h"

#include <QPointer>
#include <QString>

#include <vector>

class QComboBox;
class QWidget;

class CAudioCapturePage final : public CUnknown, public IPropertyPage {
public:
    // The class's creator, as CoRegisterBuiltInClass takes it.
    static HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv);

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT SetPageSite(IUnknown* pPageSite) override;
    // hWndParent is the X window id of one of our widgets; the page's controls go inside it.
    HRESULT Activate(HWND hWndParent, const RECT* pRect, BOOL bModal) override;
    HRESULT Deactivate() override;
    HRESULT GetPageInfo(PROPPAGEINFO* pPageInfo) override;
    // The first object must be a filter (IBaseFilter); zero objects let go of it.
    HRESULT SetObjects(ULONG cObjects, IUnknown** ppUnk) override;
    HRESULT Show(UINT nCmdShow) override;
    HRESULT Move(const RECT* pRect) override;
    HRESULT IsPageDirty() override { return m_bDirty ? S_OK : S_FALSE; }
    HRESULT Apply() override;
    HRESULT Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT TranslateAccelerator(void*) override { return S_FALSE; }

    // "44100 Hz, 16-bit, stereo"
    static QString FormatText(const PcmFormat& format);

private:
    CAudioCapturePage();
    ~CAudioCapturePage() override;
    void ReleaseObjects();

    struct Input {
        QString name;
        ComPtr<IAMAudioInputMixer> mixer;
    };
    QString m_strDevice;
    std::vector<Input> m_inputs;
    ComPtr<IAMStreamConfig> m_config;
    ComPtr<IUnknown> m_site;
    QPointer<QWidget> m_pWidget;
    QComboBox* m_pInputs = nullptr;
    QComboBox* m_pFormats = nullptr;
    bool m_bDirty = false;
};
