#include "WaitLimits.h"

#include <stdlib.h>

DWORD ShadowWaitLimit(DWORD defaultMs)
{
    char text[16] = "";
    DWORD length = GetEnvironmentVariableA("VELLORAN_SHADOW_WAIT_MS", text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return defaultMs;
    char *end = nullptr;
    unsigned long value = strtoul(text, &end, 10);
    if (end == text || *end != '\0' || value == 0)
        return defaultMs;
    return (DWORD)value;
}
