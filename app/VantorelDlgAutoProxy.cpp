#include "app/VantorelDlgAutoProxy.h"

#include "app/VantorelApp.h"
#include "app/VantorelDlg.h"
#include "platform/automation/OleApp.h"

CVantorelDlgAutoProxy::CVantorelDlgAutoProxy(CVantorelDlg* pDialog)
{
    platform::AfxOleLockApp();
    m_pDialog = pDialog ? pDialog : theApp.m_pMainWnd;
    if (m_pDialog)
        m_pDialog->m_pAutoProxy = this;
}

CVantorelDlgAutoProxy::~CVantorelDlgAutoProxy()
{
    if (m_pDialog && m_pDialog->m_pAutoProxy == this)
        m_pDialog->m_pAutoProxy = nullptr;
    platform::AfxOleUnlockApp();
}
