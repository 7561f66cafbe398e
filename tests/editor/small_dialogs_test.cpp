// The split-ZIP and date-filter dialogs on a record of their own: what OK stores and whether it
// reports a change, Cancel, which controls they enable, the refused split size and their help;
// and the Notes page in the sheet.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigEditor.h"
#include "ConfigTable.h"
#include "DateFilterDialog.h"
#include "EditorTestSupport.h"
#include "GlobalSettings.h"
#include "SplitZipDialog.h"
#include "resource.h"

namespace {

const char kSplitTitle[] = "Split Compressed ZIP";
const char kDateFilterTitle[] = "Compressed ZIP Date Filter";

class SmallDialogs : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        memset(&record, 0, sizeof record);
        record.flags = Enabled | Compressed | SplitZip;
        record.splitSize = 1;
        record.splitUnit = 3;
        record.dateFilterFlags = AlwaysAll | EveryNAll;
        record.fullBackupEvery = 30;
    }
    int Split(const std::function<void(HWND)> &drive)
    {
        return (int)RunDialog(kSplitTitle, [&] { return (INT_PTR)OpenSplitZipDialog(nullptr, &record); }, drive);
    }
    int DateFilter(const std::function<void(HWND)> &drive)
    {
        return (int)RunDialog(kDateFilterTitle, [&] { return (INT_PTR)OpenDateFilterDialog(nullptr, &record); },
                              drive);
    }
    BackupConfig record;
};

void PressOk(HWND dialog)
{
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(SmallDialogs, OkWithoutAChangeReportsNoneInEitherDialog)
{
    std::string size, unit;
    EXPECT_EQ(Split([&](HWND dialog) {
                  size = ControlText(dialog, IDC_SPLIT_SIZE);
                  unit = ControlText(dialog, IDC_SPLIT_UNIT);
                  PressOk(dialog);
              }),
              0);
    EXPECT_EQ(size, "1");
    EXPECT_EQ(unit, "GB");
    EXPECT_EQ(DateFilter(PressOk), 0);
    EXPECT_EQ(record.flags, (uint32_t)(Enabled | Compressed | SplitZip));
    EXPECT_EQ(record.dateFilterFlags, (int32_t)(AlwaysAll | EveryNAll));
}

TEST_F(SmallDialogs, SplitOkStoresWhatChangedAndCancelNothing)
{
    struct Case {
        const char *name;
        bool clickSplit;
        const char *size;  // nullptr: untouched
        int unit;          // -1: untouched
        int close;         // IDOK, IDCANCEL or WM_CLOSE
        int result;
        bool split;
        int storedSize, storedUnit;
    } cases[] = {
        {"size and unit", false, "650", 2, IDOK, 1, true, 650, 2},
        {"splitting off keeps size and unit", true, nullptr, -1, IDOK, 1, false, 1, 3},
        {"a typed 0 while not splitting is stored", true, "0", -1, IDOK, 1, false, 0, 3},
        {"only the unit", false, nullptr, 1, IDOK, 1, true, 1, 1},
        {"cancel", true, "99", 0, IDCANCEL, 0, true, 1, 3},
        {"closing the window", false, "99", 0, WM_CLOSE, 0, true, 1, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        int result = Split([&](HWND dialog) {
            if (c.clickSplit)
                ClickButton(dialog, IDC_SPLIT_ENABLE);
            if (c.size != nullptr)
                SetControlText(dialog, IDC_SPLIT_SIZE, c.size);
            if (c.unit >= 0)
                SendDlgItemMessageA(dialog, IDC_SPLIT_UNIT, CB_SETCURSEL, (WPARAM)c.unit, 0);
            if (c.close == WM_CLOSE)
                PostMessageA(dialog, WM_CLOSE, 0, 0);
            else
                PostMessageA(dialog, WM_COMMAND, (WPARAM)c.close, 0);
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ((record.flags & SplitZip) != 0, c.split);
        EXPECT_EQ(record.splitSize, c.storedSize);
        EXPECT_EQ(record.splitUnit, c.storedUnit);
    }
}

TEST_F(SmallDialogs, SplitSizeBelowOneIsRefusedWhileSplitting)
{
    SharedBoxRecorder boxes;
    HWND sizeBox = nullptr, focus = nullptr;
    bool open = false, sizeOnAfterUntick = true;
    int result = Split([&](HWND dialog) {
        sizeBox = GetDlgItem(dialog, IDC_SPLIT_SIZE);
        SetControlText(dialog, IDC_SPLIT_SIZE, "0");
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        focus = FocusOfWindowThread();
        SetControlText(dialog, IDC_SPLIT_SIZE, "-4");
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        open = IsWindowVisible(dialog) != FALSE;
        ClickButton(dialog, IDC_SPLIT_ENABLE);
        sizeOnAfterUntick = IsEnabled(dialog, IDC_SPLIT_SIZE);
        ClickButton(dialog, IDC_SPLIT_ENABLE);
        SetControlText(dialog, IDC_SPLIT_SIZE, "2");
        PressOk(dialog);
    });
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[0], "Please enter a size of at least 1 for the parts of the split ZIP file.");
    EXPECT_EQ(focus, sizeBox);
    EXPECT_TRUE(open);
    EXPECT_FALSE(sizeOnAfterUntick);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(record.splitSize, 2);
}

TEST_F(SmallDialogs, DateFilterStoresBothBitsOnTheirOwn)
{
    struct Case {
        const char *name;
        std::vector<int> clicks;
        const char *every;
        int result;
        int32_t flags;
        int storedEvery;
    } cases[] = {
        {"only changed files, every 5", {IDC_DATEFILTER_CHANGED_ONLY}, "5", 1, EveryNAll, 5},
        {"every kept off while all files are chosen",
         {IDC_DATEFILTER_CHANGED_ONLY, IDC_DATEFILTER_EVERY, IDC_DATEFILTER_ALWAYS_ALL}, "30", 1, AlwaysAll, 30},
        {"a typed 0 is stored", {IDC_DATEFILTER_CHANGED_ONLY, IDC_DATEFILTER_EVERY}, "0", 1, 0, 0},
        {"letters give 0", {}, "often", 1, AlwaysAll | EveryNAll, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        int result = DateFilter([&](HWND dialog) {
            for (int id : c.clicks)
                ClickButton(dialog, id);
            SetControlText(dialog, IDC_DATEFILTER_EVERY_COUNT, c.every);
            PressOk(dialog);
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(record.dateFilterFlags, c.flags);
        EXPECT_EQ(record.fullBackupEvery, c.storedEvery);
    }
}

TEST_F(SmallDialogs, DateFilterEnablesTheCountOnlyForChangedFilesEveryN)
{
    bool everyOnWithAll = true, countOnWithAll = true, everyOn = false, countOn = false, countOnWithoutEvery = true;
    int result = DateFilter([&](HWND dialog) {
        SendMessageA(dialog, WM_REFRESHSTATES, 0, 0);
        everyOnWithAll = IsEnabled(dialog, IDC_DATEFILTER_EVERY);
        countOnWithAll = IsEnabled(dialog, IDC_DATEFILTER_EVERY_SPIN);
        ClickButton(dialog, IDC_DATEFILTER_CHANGED_ONLY);
        everyOn = IsEnabled(dialog, IDC_DATEFILTER_EVERY_LABEL);
        countOn = IsEnabled(dialog, IDC_DATEFILTER_EVERY_COUNT);
        ClickButton(dialog, IDC_DATEFILTER_EVERY);
        countOnWithoutEvery = IsEnabled(dialog, IDC_DATEFILTER_EVERY_COUNT);
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(everyOnWithAll);
    EXPECT_FALSE(countOnWithAll);
    EXPECT_TRUE(everyOn);
    EXPECT_TRUE(countOn);
    EXPECT_FALSE(countOnWithoutEvery);
    EXPECT_EQ(record.dateFilterFlags, (int32_t)(AlwaysAll | EveryNAll));
}

TEST_F(SmallDialogs, HelpOpensTheTopicAndPopupsForTheirControls)
{
    std::vector<std::string> splitPopup, splitTopic, datePopup, dateButton;
    Split([&](HWND dialog) {
        SendControlHelp(dialog, IDC_SPLIT_UNIT);
        splitPopup = HelpCalls();
        ClearHelpCalls();
        SendControlHelp(dialog, IDOK);
        splitTopic = HelpCalls();
        ClearHelpCalls();
    });
    DateFilter([&](HWND dialog) {
        SendControlHelp(dialog, IDC_DATEFILTER_EVERY_COUNT);
        datePopup = HelpCalls();
        ClearHelpCalls();
        Click(dialog, IDC_DATEFILTER_HELP);
        dateButton = HelpCalls();
    });
    ASSERT_EQ(splitPopup.size(), 1u);
    EXPECT_NE(splitPopup[0].find("popups\\SplitZIP.txt' " HELP_POPUP_SIZE " instance=0 id=1055 "), std::string::npos);
    ASSERT_EQ(splitTopic.size(), 2u);
    EXPECT_NE(splitTopic[1].find("keywords='splitting compressed zip'"), std::string::npos);
    ASSERT_EQ(datePopup.size(), 1u);
    EXPECT_NE(datePopup[0].find("popups\\DateFilterZIP.txt' " HELP_POPUP_SIZE " instance=0 id=1073 "), std::string::npos);
    ASSERT_EQ(dateButton.size(), 2u);
    EXPECT_NE(dateButton[1].find("keywords='date filtering zip'"), std::string::npos);
}

TEST_F(SmallDialogs, BothDialogsFitTheirWindowAtEveryDialogSize)
{
    for (int size : {8, 10, 12}) {
        SCOPED_TRACE(size);
        gSettings.dialogSize = size;
        std::vector<std::string> outside;
        auto check = [&](HWND dialog) {
            RECT client;
            GetClientRect(dialog, &client);
            MapWindowPoints(dialog, nullptr, (POINT *)&client, 2);
            for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
                RECT box;
                GetWindowRect(child, &box);
                if (box.left < client.left || box.top < client.top || box.right > client.right ||
                    box.bottom > client.bottom)
                    outside.push_back(std::to_string(GetDlgCtrlID(child)));
            }
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        };
        Split(check);
        DateFilter(check);
        EXPECT_TRUE(outside.empty()) << ::testing::PrintToString(outside);
    }
    gSettings.dialogSize = 8;
}

// ---- The Notes page ----

class NotesPage : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        source = work.path + "src\\";
        MakeFolder(Widen(source));
    }
    ScratchFolder work;
    std::string source;
};

TEST_F(NotesPage, ChangedNotesAreSavedAndUnchangedOnesCountAsNoEdit)
{
    int index = AddConfig("Noted", {source}, work.path + "out\\");
    lstrcpynA(ConfigAt(index)->notes, "Tape \x96 shelf 3", sizeof ConfigAt(index)->notes);
    std::string shown;
    DWORD selection = 1;
    int savedByNotes = -1;
    int result = RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, 3);
        shown = ControlText(page, IDC_NOTES_TEXT);
        // Moving the focus to the box as the keyboard does selects its text; the page undoes it.
        SendMessageA(page, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(page, IDC_NOTES_TEXT), TRUE);
        WaitUntil([&] {
            DWORD start = 0, end = 0;
            SendDlgItemMessageA(page, IDC_NOTES_TEXT, EM_GETSEL, (WPARAM)&start, (LPARAM)&end);
            selection = end - start;
            return selection == 0;
        }, 2000);
        // OK on the Notes page alone: the General page's apply sets the flag, so reset it first.
        configSaved = 0;
        PSHNOTIFY apply = {};
        apply.hdr.hwndFrom = sheet;
        apply.hdr.code = PSN_APPLY;
        SendMessageA(page, WM_NOTIFY, 0, (LPARAM)&apply);
        savedByNotes = configSaved;
        SetControlText(page, IDC_NOTES_TEXT, "Tape \x96 shelf 4\r\n\x93Keep\x94 \x80 5 a month");
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(shown, "Tape \x96 shelf 3");
    EXPECT_EQ(selection, 0u);
    EXPECT_EQ(savedByNotes, 0);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(ConfigAt(index)->notes, "Tape \x96 shelf 4\r\n\x93Keep\x94 \x80 5 a month");
}

TEST_F(NotesPage, TextIsCutAtTheBoxLimit)
{
    int index = AddConfig("Noted", {source}, work.path + "out\\");
    std::string longText(5000, 'n');
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, 3);
        SendDlgItemMessageA(page, IDC_NOTES_TEXT, EM_REPLACESEL, FALSE, (LPARAM)longText.c_str());
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(strlen(ConfigAt(index)->notes), 4095u);
}

}  // namespace
