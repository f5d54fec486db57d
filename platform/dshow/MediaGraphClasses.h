#pragma once
// The media graph's built-in classes: Filter Graph, Filter Mapper 2 and the system reference
// clock. A process (or a filter module that registers itself) makes them known once before
// creating them by class id.
#include "platform/com/Unknown.h"

void RegisterMediaGraphClasses();

HRESULT CreateFilterGraph(IUnknown* pUnkOuter, REFIID riid, void** ppv);
HRESULT CreateFilterMapper2(IUnknown* pUnkOuter, REFIID riid, void** ppv);
HRESULT CreateSystemClock(IUnknown* pUnkOuter, REFIID riid, void** ppv);
