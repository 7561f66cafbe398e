#include "MessageLoop.h"

#include "JobList.h"
#include "ShellState.h"

int TranslateMainAccelerator(HWND window, HACCEL accelerators, MSG *message)
{
    if (accelerators == nullptr || IsJobListLabelEditing())
        return 0;
    return TranslateAcceleratorA(window, accelerators, message) ? 1 : 0;
}

int RunMessageLoop(HWND window)
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateMainAccelerator(window, mainAccelerators, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return (int)message.wParam;
}
