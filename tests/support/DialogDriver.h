// Opens a dialog modally on the test's thread while a second thread works it the way a user
// would: cross-thread messages reach the dialog's own modal loop.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

#include "WaitUntil.h"

// The dialog with this title once it is shown, that is once its modal loop runs.
inline HWND WaitForDialog(const char *title)
{
    for (int i = 0; i < 1000; ++i) {
        HWND dialog = FindWindowA("#32770", title);
        if (dialog != nullptr && IsWindowVisible(dialog))
            return dialog;
        Sleep(10);
    }
    return nullptr;
}

inline std::string ControlText(HWND dialog, int id)
{
    char text[1100] = "";
    SendMessageA(GetDlgItem(dialog, id), WM_GETTEXT, sizeof text, (LPARAM)text);
    return text;
}

inline void Press(HWND dialog, int id)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

// `open` shows the dialog modally and returns its result; `drive` works it. Should `drive`
// leave it open, `closeId` is posted until it ends.
inline INT_PTR RunDialog(const char *title, const std::function<INT_PTR()> &open,
                         const std::function<void(HWND)> &drive, int closeId = IDCANCEL)
{
    std::thread driver([&] {
        HWND dialog = WaitForDialog(title);
        if (dialog == nullptr)
            return;
        drive(dialog);
        while (IsWindow(dialog) && IsWindowVisible(dialog)) {
            PostMessageA(dialog, WM_COMMAND, closeId, 0);
            Sleep(50);
        }
    });
    INT_PTR result = open();
    driver.join();
    return result;
}
