#pragma once
// The AVI writing classes of the media graph: the AVI Mux (CLSID_AviDest) and the File Writer
// (CLSID_FileWriter). The program makes them known at start-up, next to
// RegisterMediaGraphClasses().
#include "platform/com/Unknown.h"

void RegisterAviClasses();

HRESULT CreateAviMux(IUnknown* pUnkOuter, REFIID riid, void** ppv);
HRESULT CreateFileWriter(IUnknown* pUnkOuter, REFIID riid, void** ppv);
