// Dialog 161's buttons clicked as a user would: each sends its own control id.
#include <windows.h>
#include <gtest/gtest.h>

#include "DialogDriver.h"
#include "DialogHelpers.h"
#include "GlobalSettings.h"
#include "resource.h"

namespace {

INT_PTR OpenConfirmExit()
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIRM_EXIT), nullptr,
                           ConfirmExitDialogProc, 0);
}

void Click(HWND dialog, int id)
{
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

TEST(ConfirmExit, YesAndNoButtonsAnswerAndTheBoxTurnsTheQuestionOff)
{
    gSettings.askExit = 1;
    EXPECT_EQ(RunDialog("Really Exit ?", OpenConfirmExit, [](HWND dialog) { Click(dialog, IDC_CONFIRM_EXIT_YES); },
                        IDC_CONFIRM_EXIT_NO),
              1);
    EXPECT_EQ(gSettings.askExit, 1);
    EXPECT_EQ(RunDialog("Really Exit ?", OpenConfirmExit,
                        [](HWND dialog) {
                            Click(dialog, IDC_CONFIRM_EXIT_DONT_ASK);
                            Click(dialog, IDC_CONFIRM_EXIT_NO);
                        },
                        IDC_CONFIRM_EXIT_NO),
              0);
    EXPECT_EQ(gSettings.askExit, 0);
    gSettings.askExit = 1;
}

}  // namespace
