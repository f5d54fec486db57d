#pragma once
// Memory handed across object (and module) boundaries: whoever receives it frees it with
// CoTaskMemFree, whichever side allocated it.
#include <cstddef>

void* CoTaskMemAlloc(std::size_t cb);
void* CoTaskMemRealloc(void* pv, std::size_t cb);
void CoTaskMemFree(void* pv);
