// Polls a condition every 10 ms, for tests that watch another thread or a window.
#pragma once
#include <windows.h>

#include <functional>

// True as soon as the condition holds; after `milliseconds` its last answer.
inline bool WaitUntil(const std::function<bool()> &condition, DWORD milliseconds = 10000)
{
    for (DWORD waited = 0; waited < milliseconds; waited += 10) {
        if (condition())
            return true;
        Sleep(10);
    }
    return condition();
}
