#include "platform/com/TaskMemory.h"

#include <cstdlib>

// Every module uses the one C library heap, so any of them may free what another allocated.
void* CoTaskMemAlloc(std::size_t cb)
{
    return std::malloc(cb ? cb : 1);
}

void* CoTaskMemRealloc(void* pv, std::size_t cb)
{
    return std::realloc(pv, cb ? cb : 1);
}

void CoTaskMemFree(void* pv)
{
    std::free(pv);
}
