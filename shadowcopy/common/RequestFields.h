// The int32 fields of ShadowCopyRequest are polled by one thread while another writes them.
// Interlocked operations give each access a full barrier without changing the block's layout.
#pragma once
#include <windows.h>

#include "ShadowCopyRequest.h"

static_assert(sizeof(LONG) == sizeof(int32_t), "the Interlocked functions work on the fields");

inline int32_t LoadField(volatile int32_t *field)
{
    return InterlockedCompareExchange(reinterpret_cast<volatile LONG *>(field), 0, 0);
}

inline void StoreField(volatile int32_t *field, int32_t value)
{
    InterlockedExchange(reinterpret_cast<volatile LONG *>(field), value);
}
