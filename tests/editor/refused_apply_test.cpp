// Leaving the editor's sheet after an OK that a page refused: the pages that passed before
// the refusal have written into the working copy, and so has the refusing page up to its
// check, yet only a round in which every open page passed reaches the store.
#include <windows.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "ConfigStore.h"
#include "ConfigTable.h"
#include "EditorTestSupport.h"
#include "FileText.h"
#include "GlobalSettings.h"
#include "resource.h"

namespace {

class RefusedApply : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        source = work.path + "src\\";
        MakeFolder(Widen(source));
        index = env->AddConfig("Before", work.path + "out\\", {source}, Enabled | Compressed);
        lstrcpynA(ConfigAt(index)->compressedFileName, "old.zip", sizeof ConfigAt(index)->compressedFileName);
        ASSERT_EQ(SaveConfigStore(nullptr), 1);
        splitBefore = ConfigAt(index)->splitSize;
        ASSERT_NE(splitBefore, 7);
        storeBefore = ReadWholeFile(storePath);
        ASSERT_FALSE(storeBefore.empty());
    }
    ScratchFolder work;
    std::string source;
    int index = -1;
    int splitBefore = 0;
    std::string storeBefore;
};

void SplitAt(HWND advanced, const char *size)
{
    PostMessageA(advanced, WM_COMMAND, MAKEWPARAM(IDC_ADVANCED_SPLITTING, BN_CLICKED),
                 (LPARAM)GetDlgItem(advanced, IDC_ADVANCED_SPLITTING));
    HWND dialog = WaitForDialog("Split Compressed ZIP");
    ASSERT_NE(dialog, nullptr);
    ClickButton(dialog, IDC_SPLIT_ENABLE);
    SetControlText(dialog, IDC_SPLIT_SIZE, size);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !IsWindow(dialog); }, 5000);
}

// The user's edits of the task: a new description and ZIP name, splitting at 7, and "Run
// Before" ticked with its box empty, which the Advanced page refuses after General passed.
void EditThenOkRefused(HWND sheet, HWND general, int oks)
{
    SetControlText(general, IDC_GENERAL_DESCRIPTION, "Never got through");
    HWND advanced = ShowPage(sheet, 2);
    SetControlText(advanced, IDC_ADVANCED_ZIP_NAME, "new.zip");
    ClickButton(advanced, IDC_ADVANCED_RUN_BEFORE);
    SplitAt(advanced, "7");
    for (int i = 0; i < oks; ++i)
        PressSheetButton(sheet, PSBTN_OK);
}

const struct Leaving {
    const char *name;
    std::function<void(HWND sheet)> leave;
} kLeavings[] = {
    {"Cancel", [](HWND sheet) { PressSheetButton(sheet, PSBTN_CANCEL); }},
    {"Escape", [](HWND) { PostMessageA(FocusOfWindowThread(), WM_KEYDOWN, VK_ESCAPE, 0x00010001); }},
    {"the title bar's X", [](HWND sheet) { SendMessageA(sheet, WM_SYSCOMMAND, SC_CLOSE, 0); }},
};

TEST_F(RefusedApply, LeavingAfterARefusedOkLeavesTheStoreAsItWas)
{
    for (const Leaving &leaving : kLeavings) {
        for (int oks : {1, 2}) {
            SCOPED_TRACE(std::string(leaving.name) + " after " + std::to_string(oks) + " refused OK");
            SharedBoxRecorder boxes;
            bool closed = false;
            int result = RunEditor(index, [&](HWND sheet, HWND general) {
                EditThenOkRefused(sheet, general, oks);
                leaving.leave(sheet);
                closed = WaitUntil([&] { return !IsWindow(sheet); }, 5000);
            });
            EXPECT_TRUE(closed);
            ASSERT_EQ(boxes.Count(), (size_t)oks);
            EXPECT_EQ(boxes.Texts()[0], "Please enter a program to run before the backup");
            EXPECT_EQ(result, 0);
            EXPECT_TRUE(ReadWholeFile(storePath) == storeBefore);
            const BackupConfig *record = ConfigAt(index);
            EXPECT_STREQ(record->description, "Before");
            EXPECT_STREQ(record->compressedFileName, "old.zip");
            EXPECT_EQ(record->flags & (SplitZip | RunProgramBefore), 0u);
            EXPECT_EQ(record->splitSize, splitBefore);
        }
    }
}

TEST_F(RefusedApply, CloseAfterAWholeRoundAndARefusedOneSavesTheWholeRound)
{
    for (const Leaving &leaving : kLeavings) {
        SCOPED_TRACE(leaving.name);
        SharedBoxRecorder boxes;
        int result = RunEditor(index, [&](HWND sheet, HWND general) {
            SetControlText(general, IDC_GENERAL_DESCRIPTION, "Applied");
            HWND advanced = ShowPage(sheet, 2);
            SetControlText(advanced, IDC_ADVANCED_ZIP_NAME, "applied.zip");
            // Notes is the last open page and passes unchanged.
            ShowPage(sheet, 3);
            PressSheetButton(sheet, PSBTN_APPLYNOW);
            EditThenOkRefused(sheet, general, 1);
            leaving.leave(sheet);
            WaitUntil([&] { return !IsWindow(sheet); }, 5000);
        });
        EXPECT_EQ(boxes.Count(), 1u);
        EXPECT_EQ(result, 1);
        ASSERT_TRUE(ReloadStore());
        ASSERT_EQ(configTable.configCount, 1);
        const BackupConfig *stored = ConfigAt(0);
        EXPECT_STREQ(stored->description, "Applied");
        EXPECT_STREQ(stored->compressedFileName, "applied.zip");
        EXPECT_EQ(stored->flags & (SplitZip | RunProgramBefore), 0u);
        EXPECT_EQ(stored->splitSize, splitBefore);
        // The next road starts from the store as it was.
        ClearConfigTable();
        index = env->AddConfig("Before", work.path + "out\\", {source}, Enabled | Compressed);
        lstrcpynA(ConfigAt(index)->compressedFileName, "old.zip", sizeof ConfigAt(index)->compressedFileName);
    }
}

}  // namespace
