// The Advanced page: its apply checks in their order with their focus and what each leaves in
// the working copy; then the page in the running sheet: what it shows, which controls it
// enables, the remote-backup button through a double, the split-ZIP and date-filter dialogs
// it opens, program browsing and help.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "AdvancedPage.h"
#include "ConfigTable.h"
#include "EditorPage.h"
#include "EditorTestSupport.h"
#include "TextHelpers.h"
#include "resource.h"

namespace {

const int kPage = 2;

std::string Scrambled(const std::string &password)
{
    char text[256];
    lstrcpynA(text, password.c_str(), sizeof text);
    ScramblePassword(text);
    return text;
}

// A compressed, encrypted ZIP with every box filled in as a user would.
AdvancedFields Filled()
{
    AdvancedFields f;
    f.saveRevisions = true;
    f.saveDeleted = false;
    f.uncompressed = true;
    f.compressed = true;
    f.encrypted = true;
    f.runBefore = true;
    f.runAfter = false;
    f.revisions = "12";
    f.zipName = "Nightly \x96 \x80[[DATE]].zip";
    f.password = "Caf\xE9 \x93pass\x94";
    f.passwordAgain = "Caf\xE9 \x93pass\x94";
    f.priority = 3;
    f.programBefore = "C:\\Tools\\before.bat";
    f.programAfter = "";
    return f;
}

class AdvancedChecks : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetNewConfigDefaults();
        lstrcpynA(editedConfig.zipPassword, Scrambled("old pass").c_str(), sizeof editedConfig.zipPassword);
        lstrcpynA(editedConfig.programAfter, "C:\\after.exe", sizeof editedConfig.programAfter);
    }
    void TearDown() override
    {
        FreeConfigArrays(&editedConfig);
        EditorTest::TearDown();
    }
    int Check(const AdvancedFields &fields)
    {
        text[0] = '\0';
        return CheckAdvancedPage(fields, text, sizeof text);
    }
    char text[512];
};

TEST_F(AdvancedChecks, EveryFieldIsWrittenWhenAllChecksPass)
{
    ASSERT_EQ(Check(Filled()), 0) << text;
    const BackupConfig &c = editedConfig;
    EXPECT_EQ(c.flags & (SaveRevisions | SaveDeleted | Uncompressed | Compressed | Encrypted | RunProgramBefore |
                         RunProgramAfter),
              (uint32_t)(SaveRevisions | Uncompressed | Compressed | Encrypted | RunProgramBefore));
    EXPECT_EQ(c.revisionCount, 12);
    EXPECT_STREQ(c.compressedFileName, "Nightly \x96 \x80[[DATE]].zip");
    EXPECT_EQ(std::string(c.zipPassword), Scrambled("Caf\xE9 \x93pass\x94"));
    EXPECT_EQ(c.priority, 3);
    EXPECT_STREQ(c.programBefore, "C:\\Tools\\before.bat");
    // Run After unchecked with an empty box: accepted, and the program is cleared.
    EXPECT_STREQ(c.programAfter, "");
}

TEST_F(AdvancedChecks, RefusalsComeInTheirOrderWithTheirFocus)
{
    struct Case {
        const char *name;
        void (*change)(AdvancedFields &);
        int focus;
        const char *message;
    } cases[] = {
        {"ZIP name with a colon", [](AdvancedFields &f) { f.zipName = "C:backup.zip"; }, IDC_ADVANCED_ZIP_NAME,
         "Please enter a valid filename for the compressed file.\n\nExample: MyBackup.zip"},
        {"empty ZIP name", [](AdvancedFields &f) { f.zipName = ""; }, IDC_ADVANCED_ZIP_NAME,
         "Please enter a valid filename for the compressed file.\n\nExample: MyBackup.zip"},
        {"empty password",
         [](AdvancedFields &f) {
             f.password = "";
             f.passwordAgain = "";
         },
         IDC_ADVANCED_PASSWORD, "Please enter a password for encryption"},
        {"mismatch", [](AdvancedFields &f) { f.passwordAgain = "Caf\xE9"; }, IDC_ADVANCED_PASSWORD,
         "Password and re-entered password do not match"},
        {"mismatch before quote",
         [](AdvancedFields &f) {
             f.password = "a\"b";
             f.passwordAgain = "a\"c";
         },
         IDC_ADVANCED_PASSWORD, "Password and re-entered password do not match"},
        {"double quote",
         [](AdvancedFields &f) {
             f.password = "a\"b";
             f.passwordAgain = "a\"b";
         },
         IDC_ADVANCED_PASSWORD, "Password cannot contain the double quote (\") character"},
        {"scrambling key byte",
         [](AdvancedFields &f) {
             f.password = "Para\xA7 12";
             f.passwordAgain = "Para\xA7 12";
         },
         IDC_ADVANCED_PASSWORD, kPasswordKeyByteMessage},
        {"no program before", [](AdvancedFields &f) { f.programBefore = ""; }, IDC_ADVANCED_PROGRAM_BEFORE,
         "Please enter a program to run before the backup"},
        {"no program after", [](AdvancedFields &f) { f.runAfter = true; }, IDC_ADVANCED_PROGRAM_AFTER,
         "Please enter a program to run after the backup"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        AdvancedFields fields = Filled();
        c.change(fields);
        EXPECT_EQ(Check(fields), c.focus);
        EXPECT_STREQ(text, c.message);
    }
}

TEST_F(AdvancedChecks, FlagsReadBeforeARefusalStayWritten)
{
    editedConfig.flags = Enabled;
    AdvancedFields fields = Filled();
    fields.password = "";
    fields.passwordAgain = "";
    EXPECT_EQ(Check(fields), IDC_ADVANCED_PASSWORD);
    EXPECT_EQ(editedConfig.flags, (uint32_t)(Enabled | SaveRevisions | Uncompressed | Compressed | Encrypted));
    EXPECT_EQ(editedConfig.revisionCount, 12);
    // The password and everything after it are as they were.
    EXPECT_EQ(std::string(editedConfig.zipPassword), Scrambled("old pass"));
    EXPECT_EQ(editedConfig.priority, 1);
    EXPECT_STREQ(editedConfig.programAfter, "C:\\after.exe");
}

TEST_F(AdvancedChecks, WhatIsAcceptedWithoutStoringEverything)
{
    struct Case {
        const char *name;
        void (*change)(AdvancedFields &);
        const char *zipName;
        const char *password;
        int revisions;
    } cases[] = {
        {"the stored password shown again", [](AdvancedFields &f) { f.password = f.passwordAgain = "old pass"; },
         "Nightly \x96 \x80[[DATE]].zip", "old pass", 12},
        {"encryption off with mismatched boxes",
         [](AdvancedFields &f) {
             f.encrypted = false;
             f.passwordAgain = "other";
         },
         "Nightly \x96 \x80[[DATE]].zip", "old pass", 12},
        {"colon in the name while not compressed",
         [](AdvancedFields &f) {
             f.compressed = false;
             f.zipName = "a:b.zip";
         },
         "Backup Job 1_[[DATE]].zip", "Caf\xE9 \x93pass\x94", 12},
        {"the key byte while not encrypted is not stored",
         [](AdvancedFields &f) {
             f.encrypted = false;
             f.password = f.passwordAgain = "x\xA7y";
         },
         "Nightly \x96 \x80[[DATE]].zip", "old pass", 12},
        {"letters in the revisions box", [](AdvancedFields &f) { f.revisions = "many"; },
         "Nightly \x96 \x80[[DATE]].zip", "Caf\xE9 \x93pass\x94", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetNewConfigDefaults();
        lstrcpynA(editedConfig.zipPassword, Scrambled("old pass").c_str(), sizeof editedConfig.zipPassword);
        AdvancedFields fields = Filled();
        c.change(fields);
        EXPECT_EQ(Check(fields), 0) << text;
        EXPECT_STREQ(editedConfig.compressedFileName, c.zipName);
        EXPECT_EQ(std::string(editedConfig.zipPassword), Scrambled(c.password));
        EXPECT_EQ(editedConfig.revisionCount, c.revisions);
    }
}

// ---- The page in the running sheet ----

int remoteAnswer = 0;
int remoteCalls = 0;
HWND remoteOwner = nullptr;

int FakeRemoteBackup(HWND owner)
{
    ++remoteCalls;
    remoteOwner = owner;
    return remoteAnswer;
}

class AdvancedPage : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        remoteAnswer = 0;
        remoteCalls = 0;
        remoteOwner = nullptr;
        SetRemoteBackupEditorForTesting(FakeRemoteBackup);
        source = work.path + "src\\";
        MakeFolder(Widen(source));
    }
    void TearDown() override
    {
        SetRemoteBackupEditorForTesting(nullptr);
        EditorTest::TearDown();
    }
    int AddZipConfig()
    {
        int index = env->AddConfig("Zipped", work.path + "out\\", {source}, Enabled | Compressed | Encrypted);
        BackupConfig *c = ConfigAt(index);
        lstrcpynA(c->zipPassword, Scrambled("Stored \x80 pass").c_str(), sizeof c->zipPassword);
        c->priority = 0;
        c->revisionCount = 7;
        return index;
    }
    ScratchFolder work;
    std::string source;
    FakeCommonDialogs dialogs;
};

TEST_F(AdvancedPage, ShowsTheStoredFieldsAndEnablesWhatTheyAllow)
{
    int index = AddZipConfig();
    std::string password, again, revisions, priority;
    bool zipNameOn = false, passwordOn = false, revisionsOn = true, deletedOn = true, beforeOn = true;
    bool passwordOnAfterEncryptOff = true, revisionsOnAfterSave = false;
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        password = ControlText(page, IDC_ADVANCED_PASSWORD);
        again = ControlText(page, IDC_ADVANCED_PASSWORD_AGAIN);
        revisions = ControlText(page, IDC_ADVANCED_REVISIONS);
        priority = ControlText(page, IDC_ADVANCED_PRIORITY);
        zipNameOn = IsEnabled(page, IDC_ADVANCED_ZIP_NAME);
        passwordOn = IsEnabled(page, IDC_ADVANCED_PASSWORD);
        revisionsOn = IsEnabled(page, IDC_ADVANCED_REVISIONS);
        deletedOn = IsEnabled(page, IDC_ADVANCED_SAVE_DELETED);
        beforeOn = IsEnabled(page, IDC_ADVANCED_PROGRAM_BEFORE);
        ClickButton(page, IDC_ADVANCED_ENCRYPT);
        passwordOnAfterEncryptOff = IsEnabled(page, IDC_ADVANCED_PASSWORD);
        ClickButton(page, IDC_ADVANCED_UNCOMPRESSED);
        ClickButton(page, IDC_ADVANCED_SAVE_REVISIONS);
        revisionsOnAfterSave = IsEnabled(page, IDC_ADVANCED_REVISIONS);
    });
    EXPECT_EQ(password, "Stored \x80 pass");
    EXPECT_EQ(again, "Stored \x80 pass");
    EXPECT_EQ(revisions, "7");
    EXPECT_EQ(priority, "Very Low");
    EXPECT_TRUE(zipNameOn);
    EXPECT_TRUE(passwordOn);
    EXPECT_FALSE(revisionsOn);
    EXPECT_FALSE(deletedOn);
    EXPECT_FALSE(beforeOn);
    EXPECT_FALSE(passwordOnAfterEncryptOff);
    EXPECT_TRUE(revisionsOnAfterSave);
}

TEST_F(AdvancedPage, RefusedApplyStaysOnThePageWithTheBoxFocused)
{
    int index = AddZipConfig();
    SharedBoxRecorder boxes;
    HWND box = nullptr, focus = nullptr;
    int current = -1;
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        box = GetDlgItem(page, IDC_ADVANCED_PASSWORD);
        SetControlText(page, IDC_ADVANCED_PASSWORD, "\xA7");
        SetControlText(page, IDC_ADVANCED_PASSWORD_AGAIN, "\xA7");
        ShowPage(sheet, 0);
        PressSheetButton(sheet, PSBTN_OK);
        focus = FocusOfWindowThread();
        current = (int)SendMessageA((HWND)SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0), TCM_GETCURSEL, 0, 0);
    });
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Texts()[0], kPasswordKeyByteMessage);
    EXPECT_EQ(focus, box);
    EXPECT_EQ(current, kPage);
    EXPECT_EQ(std::string(ConfigAt(index)->zipPassword), Scrambled("Stored \x80 pass"));
}

TEST_F(AdvancedPage, RemoteBackupWithAChangeResetsTheDateFilterCount)
{
    int index = AddZipConfig();
    ConfigAt(index)->dateFilterCount = 4;
    int countAfterNoChange = -1, countAfterChange = -1;
    bool applyAfterNoChange = true, applyAfterChange = false;
    HWND page = nullptr;
    RunEditor(index, [&](HWND sheet, HWND) {
        page = ShowPage(sheet, kPage);
        ClickButton(page, IDC_ADVANCED_REMOTE);
        countAfterNoChange = editedConfig.dateFilterCount;
        applyAfterNoChange = ApplyEnabled(sheet);
        remoteAnswer = 1;
        ClickButton(page, IDC_ADVANCED_REMOTE);
        countAfterChange = editedConfig.dateFilterCount;
        applyAfterChange = ApplyEnabled(sheet);
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(remoteCalls, 2);
    EXPECT_EQ(remoteOwner, page);
    EXPECT_EQ(countAfterNoChange, 4);
    EXPECT_FALSE(applyAfterNoChange);
    EXPECT_EQ(countAfterChange, 0);
    EXPECT_TRUE(applyAfterChange);
    EXPECT_EQ(ConfigAt(index)->dateFilterCount, 0);
}

TEST_F(AdvancedPage, BrowseFillsTheProgramBox)
{
    int index = AddZipConfig();
    dialogs.files = "C:\\Program Files\\Tool\\run \x96 now.exe";
    std::string before;
    bool applyEnabled = false;
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        ClickButton(page, IDC_ADVANCED_RUN_BEFORE);
        ClickButton(page, IDC_ADVANCED_BROWSE_BEFORE);
        before = ControlText(page, IDC_ADVANCED_PROGRAM_BEFORE);
        applyEnabled = ApplyEnabled(sheet);
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(dialogs.lastOpenTitle, "Browse for Program");
    EXPECT_EQ(before, "C:\\Program Files\\Tool\\run \x96 now.exe");
    EXPECT_TRUE(applyEnabled);
    EXPECT_STREQ(ConfigAt(index)->programBefore, "C:\\Program Files\\Tool\\run \x96 now.exe");
    EXPECT_NE(ConfigAt(index)->flags & RunProgramBefore, 0u);
}

// Opens a dialog from the page's button (posted, since the dialog runs its own modal loop)
// and works it once it is shown.
void OpenFromPage(HWND page, int buttonId, const char *title, const std::function<void(HWND)> &drive)
{
    PostMessageA(page, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)GetDlgItem(page, buttonId));
    HWND dialog = WaitForDialog(title);
    ASSERT_NE(dialog, nullptr) << title;
    drive(dialog);
    WaitUntil([&] { return !IsWindow(dialog); }, 5000);
}

TEST_F(AdvancedPage, SplitAndDateFilterDialogsEditTheWorkingCopy)
{
    int index = AddZipConfig();
    BackupConfig *c = ConfigAt(index);
    c->flags &= ~(uint32_t)SplitZip;
    c->dateFilterFlags = AlwaysAll | EveryNAll;
    bool applyAfterCancel = true, applyAfterSplit = false;
    RunEditor(index, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        OpenFromPage(page, IDC_ADVANCED_SPLITTING, "Split Compressed ZIP", [](HWND dialog) {
            ClickButton(dialog, IDC_SPLIT_ENABLE);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        });
        applyAfterCancel = ApplyEnabled(sheet);
        OpenFromPage(page, IDC_ADVANCED_SPLITTING, "Split Compressed ZIP", [](HWND dialog) {
            ClickButton(dialog, IDC_SPLIT_ENABLE);
            SetControlText(dialog, IDC_SPLIT_SIZE, "650");
            SendDlgItemMessageA(dialog, IDC_SPLIT_UNIT, CB_SETCURSEL, 2, 0);
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
        applyAfterSplit = ApplyEnabled(sheet);
        OpenFromPage(page, IDC_ADVANCED_DATE_FILTER, "Compressed ZIP Date Filter", [](HWND dialog) {
            ClickButton(dialog, IDC_DATEFILTER_CHANGED_ONLY);
            SetControlText(dialog, IDC_DATEFILTER_EVERY_COUNT, "5");
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_FALSE(applyAfterCancel);
    EXPECT_TRUE(applyAfterSplit);
    c = ConfigAt(index);
    EXPECT_NE(c->flags & SplitZip, 0u);
    EXPECT_EQ(c->splitSize, 650);
    EXPECT_EQ(c->splitUnit, 2);
    EXPECT_EQ(c->dateFilterFlags, (int32_t)EveryNAll);
    EXPECT_EQ(c->fullBackupEvery, 5);
}

TEST_F(AdvancedPage, HelpShowsPopupsForListedControlsAndTheTopicOtherwise)
{
    std::vector<std::string> popup, topic;
    RunEditor(-1, [&](HWND sheet, HWND) {
        HWND page = ShowPage(sheet, kPage);
        SendControlHelp(page, IDC_ADVANCED_DATE_FILTER);
        popup = HelpCalls();
        ClearHelpCalls();
        SendControlHelp(page, IDC_ADVANCED_TIP);
        topic = HelpCalls();
    });
    ASSERT_EQ(popup.size(), 1u);
    EXPECT_NE(popup[0].find("popups\\CfgAdvanced.txt' " HELP_POPUP_SIZE " instance=0 id=1054 "), std::string::npos);
    ASSERT_EQ(topic.size(), 2u);
    EXPECT_NE(topic[1].find("keywords='configuration editor - advanced'"), std::string::npos);
}

}  // namespace
