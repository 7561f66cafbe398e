// The program's clock. Everything that reads the local or UTC time asks here, so tests can fix it.
#pragma once
#include <windows.h>

void GetLocalNow(SYSTEMTIME *now);
void GetUtcNow(SYSTEMTIME *now);

// Fixes the local time that GetLocalNow returns (UTC follows through the time zone);
// NULL returns to the system clock.
void SetClockForTesting(const SYSTEMTIME *localTime);
