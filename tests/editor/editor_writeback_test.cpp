// The date-filter count at the editor's write-back while a job counts in the table record: a
// reset made in the editor (a new source, a changed remote backup) wins, also over a count of
// 0 when the sheet opened; every other road keeps the job's count.
#include <windows.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "AdvancedPage.h"
#include "ConfigTable.h"
#include "EditorTestSupport.h"
#include "resource.h"

namespace {

int remoteAnswer = 0;

int FakeRemoteBackup(HWND)
{
    return remoteAnswer;
}

class DateFilterCountWriteBack : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetRemoteBackupEditorForTesting(FakeRemoteBackup);
        source = work.path + "src\\";
        MakeFolder(Widen(source));
        MakeFolder(Widen(work.path + "more"));
    }
    void TearDown() override
    {
        SetRemoteBackupEditorForTesting(nullptr);
        EditorTest::TearDown();
    }
    ScratchFolder work;
    std::string source;
};

void OpenAndOk(HWND page, int buttonId, const char *title)
{
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)GetDlgItem(page, buttonId));
    HWND dialog = WaitForDialog(title);
    ASSERT_NE(dialog, nullptr);
    ClickButton(dialog, buttonId == IDC_ADVANCED_SPLITTING ? IDC_SPLIT_ENABLE : IDC_DATEFILTER_CHANGED_ONLY);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !IsWindow(dialog); }, 5000);
}

TEST_F(DateFilterCountWriteBack, ResetInTheEditorWinsAndEveryOtherRoadKeepsTheJobsCount)
{
    std::string more = work.path + "more\\";
    struct Case {
        const char *name;
        std::function<void(HWND sheet, HWND general)> edit;
        bool reset;
    } cases[] = {
        {"a new source", [&](HWND, HWND general) { SendMessageA(general, WM_ADDITEM, 0, (LPARAM)more.c_str()); },
         true},
        {"a changed remote backup",
         [](HWND sheet, HWND) {
             remoteAnswer = 1;
             ClickButton(ShowPage(sheet, 2), IDC_ADVANCED_REMOTE);
         },
         true},
        {"an unchanged remote backup",
         [](HWND sheet, HWND) {
             remoteAnswer = 0;
             ClickButton(ShowPage(sheet, 2), IDC_ADVANCED_REMOTE);
         },
         false},
        {"a changed split", [](HWND sheet, HWND) { OpenAndOk(ShowPage(sheet, 2), IDC_ADVANCED_SPLITTING, "Split Compressed ZIP"); },
         false},
        {"a changed date filter",
         [](HWND sheet, HWND) { OpenAndOk(ShowPage(sheet, 2), IDC_ADVANCED_DATE_FILTER, "Compressed ZIP Date Filter"); },
         false},
        {"a new description", [](HWND, HWND general) { SetControlText(general, IDC_GENERAL_DESCRIPTION, "Renamed"); },
         false},
    };
    for (const Case &c : cases) {
        for (int opening : {0, 3}) {
            SCOPED_TRACE(std::string(c.name) + ", count " + std::to_string(opening) + " at the start");
            ClearConfigTable();
            int index = env->AddConfig("Counted", work.path + "out\\", {source}, Enabled | Compressed);
            ConfigAt(index)->dateFilterCount = opening;
            int result = RunEditor(index, [&](HWND sheet, HWND general) {
                c.edit(sheet, general);
                // A scheduled job ends meanwhile and counts its run in the table record.
                ConfigAt(index)->dateFilterCount = 6;
                PressSheetButton(sheet, PSBTN_OK);
            });
            EXPECT_EQ(result, 1);
            EXPECT_EQ(ConfigAt(index)->dateFilterCount, c.reset ? 0 : 6);
        }
    }
}

TEST_F(DateFilterCountWriteBack, ResetBeforeAnApplyWinsAlsoWhenTheSheetIsClosed)
{
    int index = env->AddConfig("Counted", work.path + "out\\", {source}, Enabled | Compressed);
    std::string more = work.path + "more\\";
    RunEditor(index, [&](HWND sheet, HWND general) {
        SendMessageA(general, WM_ADDITEM, 0, (LPARAM)more.c_str());
        PressSheetButton(sheet, PSBTN_APPLYNOW);
        ConfigAt(index)->dateFilterCount = 6;
        SendMessageA(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(ConfigAt(index)->sourceCount, 2);
    EXPECT_EQ(ConfigAt(index)->dateFilterCount, 0);
}

}  // namespace
