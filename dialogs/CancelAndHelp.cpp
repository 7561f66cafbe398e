#include "CancelAndHelp.h"

#include "HelpAccess.h"

bool AnswerCancelAndHelp(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, int helpButtonId,
                         const EditorPageHelp &help)
{
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return true;
        }
        if (LOWORD(wParam) == helpButtonId) {
            ShowHelpTopic(GetParent(dialog), help.topicId);
            return true;
        }
        return false;
    case WM_HELP:
        ShowPageHelp(dialog, reinterpret_cast<const HELPINFO *>(lParam), help);
        return true;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return true;
    }
    return false;
}
