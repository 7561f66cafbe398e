#include "MessageBoxSeam.h"

const char *const kProductName = "Velloran";

static MessageBoxHandler installedHandler = nullptr;

void SetMessageBoxHandler(MessageBoxHandler handler)
{
    installedHandler = handler;
}

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type)
{
    if (installedHandler != nullptr)
        return installedHandler(owner, text, caption, type);
    return MessageBoxA(owner, text, caption, type);
}
