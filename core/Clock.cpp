#include "Clock.h"

static bool clockFixed = false;
static SYSTEMTIME fixedLocal;

void SetClockForTesting(const SYSTEMTIME *localTime)
{
    clockFixed = localTime != nullptr;
    if (clockFixed)
        fixedLocal = *localTime;
}

void GetLocalNow(SYSTEMTIME *now)
{
    if (clockFixed)
        *now = fixedLocal;
    else
        GetLocalTime(now);
}

void GetUtcNow(SYSTEMTIME *now)
{
    if (!clockFixed) {
        GetSystemTime(now);
        return;
    }
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &fixedLocal, now))
        *now = fixedLocal;
}
