// What the program's small modal dialogs answer alike: Cancel and the close box end the dialog
// with 0, its Help button opens its topic, F1 on a control shows that control's popup.
#pragma once
#include <windows.h>

#include "EditorPage.h"

// true when `message` was one of those and has been answered.
bool AnswerCancelAndHelp(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, int helpButtonId,
                         const EditorPageHelp &help);
