#include "WaitLimits.h"

#include <atomic>

namespace {

std::atomic<DWORD> g_testLimitMs(0);

}  // namespace

DWORD ShadowWaitLimit(DWORD defaultMs)
{
    DWORD testLimit = g_testLimitMs.load();
    return testLimit != 0 ? testLimit : defaultMs;
}

void SetShadowWaitLimitForTesting(DWORD ms)
{
    g_testLimitMs.store(ms);
}
