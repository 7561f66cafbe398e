// The configuration editor around its sheet: a new configuration gets the next id and reaches
// the store, Cancel changes nothing, an edit is written back with arrays of its own, the
// question before overwriting a running job, the remote-backup notice, and the main window's
// New command refused while a job runs.
#include <windows.h>
#include <malloc.h>
#include <prsht.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "AllocationSeam.h"
#include "Clock.h"
#include "ConfigEditor.h"
#include "ConfigRuntime.h"
#include "ConfigStore.h"
#include "ConfigTable.h"
#include "EditorTestSupport.h"
#include "FileText.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "MainWindow.h"
#include "resource.h"

namespace {

bool SameTime(const SYSTEMTIME &a, const SYSTEMTIME &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

class ConfigEditor : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SYSTEMTIME now = {2026, 3, 2, 10, 14, 30, 5, 0};
        fixedNow = now;
        SetClockForTesting(&fixedNow);
        source = work.path + "src\\";
        MakeFolder(Widen(source));
    }
    void TearDown() override
    {
        SetClockForTesting(nullptr);
        EditorTest::TearDown();
    }
    SYSTEMTIME fixedNow;
    ScratchFolder work;
    std::string source;
};

TEST_F(ConfigEditor, NewConfigurationGetsTheNextIdAndIsStored)
{
    configTable.lastUniqueId = 7;
    std::string description;
    int result = RunEditor(-1, [&](HWND sheet, HWND page) {
        description = ControlText(page, IDC_GENERAL_DESCRIPTION);
        SendMessageA(page, WM_ADDITEM, 0, (LPARAM)source.c_str());
        SetControlText(page, IDC_GENERAL_DESTINATION, work.path + "out");
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(description, "Backup Job 8");
    EXPECT_EQ(result, 1);
    ASSERT_EQ(configTable.configCount, 1);
    EXPECT_EQ(configTable.lastUniqueId, 8);
    const BackupConfig *added = ConfigAt(0);
    EXPECT_EQ(added->uniqueId, 8);
    EXPECT_TRUE(SameTime(added->dateCreated, fixedNow));
    EXPECT_TRUE(SameTime(added->dateModified, fixedNow));
    EXPECT_EQ(editedConfig.sources, nullptr);

    ASSERT_TRUE(ReloadStore());
    ASSERT_EQ(configTable.configCount, 1);
    EXPECT_EQ(configTable.lastUniqueId, 8);
    EXPECT_STREQ(ConfigAt(0)->description, "Backup Job 8");
    EXPECT_EQ(std::string(ConfigAt(0)->destination), work.path + "out\\");
    ASSERT_EQ(ConfigAt(0)->sourceCount, 1);
    EXPECT_EQ(std::string(ConfigAt(0)->sources[0].path), source);
}

TEST_F(ConfigEditor, CancelChangesNothing)
{
    int index = AddConfig("Kept", {source}, work.path + "out\\");
    SYSTEMTIME modified = ConfigAt(index)->dateModified;
    SYSTEMTIME later = fixedNow;
    later.wYear = 2027;
    SetClockForTesting(&later);
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "Changed");
        PressSheetButton(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(ConfigAt(index)->description, "Kept");
    EXPECT_TRUE(SameTime(ConfigAt(index)->dateModified, modified));
    EXPECT_FALSE(StoreExists());
    EXPECT_EQ(configTable.configCount, 1);
}

TEST_F(ConfigEditor, EditIsWrittenBackWithArraysOfItsOwn)
{
    int index = AddConfig("Before", {source}, work.path + "out\\");
    BackupConfig *record = ConfigAt(index);
    record->runCount = 3;
    SYSTEMTIME created = record->dateCreated;
    int id = record->uniqueId;
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "After");
        // A job that ran meanwhile counts in the table record.
        ConfigAt(index)->runCount = 4;
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(configTable.configCount, 1);
    record = ConfigAt(index);
    EXPECT_STREQ(record->description, "After");
    EXPECT_EQ(record->uniqueId, id);
    EXPECT_EQ(record->runCount, 4);
    EXPECT_TRUE(SameTime(record->dateCreated, created));
    EXPECT_TRUE(SameTime(record->dateModified, fixedNow));
    EXPECT_EQ(record->excludedCount, 0);
    ASSERT_NE(record->excludedItems, nullptr);
    EXPECT_EQ(_msize(record->excludedItems), 1u);
    EXPECT_EQ(_msize(record->sources), sizeof(SourceItem));
    EXPECT_EQ(editedConfig.sources, nullptr);
    ASSERT_TRUE(ReloadStore());
    EXPECT_STREQ(ConfigAt(0)->description, "After");
}

// Plays a running job: clears `running` once the editor asks it to stop.
class PretendJob {
public:
    explicit PretendJob(BackupConfig *config) : config(config)
    {
        SetSmtpSocket(config, -1);
        SetConfigRunning(config, 1);
        thread = std::thread([this] {
            while (!done && !IsCancelRequested(this->config))
                Sleep(5);
            if (IsCancelRequested(this->config))
                stopped = true;
            SetConfigRunning(this->config, 0);
        });
    }
    ~PretendJob()
    {
        done = true;
        thread.join();
    }
    std::atomic<bool> stopped{false};

private:
    BackupConfig *config;
    std::atomic<bool> done{false};
    std::thread thread;
};

const char kStopQuestion[] =
    "This configuration is currently running a backup.\nTo save your changes the backup must be stopped.\n"
    "Do you want to stop the backup?";

TEST_F(ConfigEditor, DecliningToStopTheRunningJobDropsTheEdit)
{
    int index = AddConfig("Running", {source}, work.path + "out\\");
    SharedBoxRecorder boxes(IDNO);
    int result;
    {
        PretendJob job(ConfigAt(index));
        result = RunEditor(index, [&](HWND sheet, HWND page) {
            SetControlText(page, IDC_GENERAL_DESCRIPTION, "Edited");
            PressSheetButton(sheet, PSBTN_OK);
        });
        EXPECT_FALSE(job.stopped);
        EXPECT_EQ(IsConfigRunning(ConfigAt(index)), 1);
    }
    EXPECT_EQ(result, 1);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Texts()[0], kStopQuestion);
    EXPECT_EQ(boxes.Types()[0], (UINT)MB_YESNO);
    EXPECT_STREQ(ConfigAt(index)->description, "Running");
    EXPECT_FALSE(StoreExists());
}

TEST_F(ConfigEditor, AgreeingStopsTheJobThenSaves)
{
    int index = AddConfig("Running", {source}, work.path + "out\\");
    SharedBoxRecorder boxes(IDYES);
    PretendJob job(ConfigAt(index));
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "Edited");
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(job.stopped);
    ASSERT_EQ(boxes.Count(), 1u) << boxes.Texts().back();
    EXPECT_STREQ(ConfigAt(index)->description, "Edited");
    EXPECT_EQ(IsConfigRunning(ConfigAt(index)), 0);
    EXPECT_TRUE(StoreExists());
}

TEST_F(ConfigEditor, UnencryptedRemoteBackupIsAnnouncedAndSavedAnyway)
{
    int index = AddConfig("Remote", {source}, work.path + "out\\");
    ConfigAt(index)->flags = Enabled | Compressed | RemoteFtp;
    gSettings.remoteRequiresEncryption = 1;
    SharedBoxRecorder boxes;
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "Remote 2");
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "Remote backup will be skipped until you either enable encryption or turn off the "
                                "global option to never remote backup an un-encrypted file.");
    EXPECT_EQ(boxes.Types()[0], (UINT)MB_ICONINFORMATION);
    EXPECT_STREQ(ConfigAt(index)->description, "Remote 2");

    ConfigAt(index)->flags |= Encrypted;
    RunEditor(index, [&](HWND sheet, HWND) { PressSheetButton(sheet, PSBTN_OK); });
    EXPECT_EQ(boxes.Count(), 1u);
}

TEST_F(ConfigEditor, IndexOutsideTheTableOpensNothing)
{
    AddConfig("Only", {source}, work.path + "out\\");
    EXPECT_EQ(EditBackupConfig(nullptr, 1), 0);
    EXPECT_EQ(EditBackupConfig(nullptr, -2), 0);
}

TEST_F(ConfigEditor, CloseAfterApplySavesWhatWasApplied)
{
    int index = AddConfig("Before", {source}, work.path + "out\\");
    int savedAfterApply = -1;
    std::string okText;
    bool cancelEnabled = true;
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "Applied");
        PressSheetButton(sheet, PSBTN_APPLYNOW);
        savedAfterApply = configSaved;
        WaitUntil([&] { return ControlText(sheet, IDOK) == "Close"; }, 2000);
        okText = ControlText(sheet, IDOK);
        cancelEnabled = IsWindowEnabled(GetDlgItem(sheet, IDCANCEL)) != FALSE;
        // Typed after the apply, then the caption's close box: the sheet resets its pages.
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "Typed later");
        SendMessageA(sheet, WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    EXPECT_EQ(savedAfterApply, 1);
    EXPECT_EQ(okText, "Close");
    EXPECT_FALSE(cancelEnabled);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(ConfigAt(index)->description, "Applied");
    EXPECT_TRUE(StoreExists());
}

// General passes and Advanced refuses in the same OK ("Run Before" with an empty box), then the
// sheet is left: nothing of that round reaches the store, only a round in which every page passed.
TEST_F(ConfigEditor, LeavingAfterARefusedOkSavesOnlyAWholeRound)
{
    const struct {
        const char *name;
        std::function<void(HWND)> leave;
    } leavings[] = {
        {"Cancel", [](HWND sheet) { PressSheetButton(sheet, PSBTN_CANCEL); }},
        {"Escape", [](HWND) { PostMessageA(FocusOfWindowThread(), WM_KEYDOWN, VK_ESCAPE, 0); }},
        {"the title bar's X", [](HWND sheet) { SendMessageA(sheet, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (bool wholeRoundFirst : {false, true}) {
        for (const auto &leaving : leavings) {
            SCOPED_TRACE(std::string(leaving.name) + (wholeRoundFirst ? " after a whole round" : ""));
            ClearConfigTable();
            int index = env->AddConfig("Before", work.path + "out\\", {source}, Enabled | Compressed);
            ASSERT_EQ(SaveConfigStore(nullptr), 1);
            std::string before = ReadWholeFile(storePath);
            SharedBoxRecorder boxes;
            RunEditor(index, [&](HWND sheet, HWND general) {
                HWND advanced = ShowPage(sheet, 2);
                if (wholeRoundFirst) {
                    SetControlText(general, IDC_GENERAL_DESCRIPTION, "Applied");
                    PressSheetButton(sheet, PSBTN_APPLYNOW);
                }
                SetControlText(general, IDC_GENERAL_DESCRIPTION, "Refused");
                SetControlText(advanced, IDC_ADVANCED_ZIP_NAME, "refused.zip");
                ClickButton(advanced, IDC_ADVANCED_RUN_BEFORE);
                PostMessageA(advanced, WM_COMMAND, IDC_ADVANCED_SPLITTING, 0);
                HWND split = WaitForDialog("Split Compressed ZIP");
                ClickButton(split, IDC_SPLIT_ENABLE);
                SetControlText(split, IDC_SPLIT_SIZE, "7");
                PostMessageA(split, WM_COMMAND, IDOK, 0);
                WaitUntil([&] { return !IsWindow(split); }, 5000);
                PressSheetButton(sheet, PSBTN_OK);
                PressSheetButton(sheet, PSBTN_OK);
                leaving.leave(sheet);
                WaitUntil([&] { return !IsWindow(sheet); }, 5000);
            });
            EXPECT_EQ(boxes.Count(), 2u);
            if (!wholeRoundFirst) {
                EXPECT_TRUE(ReadWholeFile(storePath) == before);
                continue;
            }
            ASSERT_TRUE(ReloadStore());
            EXPECT_STREQ(ConfigAt(0)->description, "Applied");
            EXPECT_STRNE(ConfigAt(0)->compressedFileName, "refused.zip");
            EXPECT_EQ(ConfigAt(0)->flags & (SplitZip | RunProgramBefore), 0u);
        }
    }
}

TEST_F(ConfigEditor, OutOfMemoryOpensNothingOrLeavesTheRecordWhole)
{
    int index = AddConfig("Before", {source}, work.path + "out\\");
    SharedBoxRecorder boxes;
    FailAllocationForTesting(1);
    EXPECT_EQ(EditBackupConfig(nullptr, index), 0);
    FailAllocationForTesting(0);
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "Error: Unable to allocate memory");
    EXPECT_EQ(boxes.Types()[0], (UINT)MB_ICONWARNING);
    EXPECT_EQ(editedConfig.sources, nullptr);

    SourceItem *sources = ConfigAt(index)->sources;
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "After");
        // The apply copies the three arrays of the working copy; the write-back's first new
        // array fails.
        FailAllocationForTesting(4);
        PressSheetButton(sheet, PSBTN_OK);
    });
    FailAllocationForTesting(0);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(boxes.Count(), 2u);
    EXPECT_EQ(boxes.Texts()[1], "Error: Unable to allocate memory");
    EXPECT_STREQ(ConfigAt(index)->description, "Before");
    EXPECT_EQ(ConfigAt(index)->sources, sources);
    EXPECT_EQ(std::string(ConfigAt(index)->sources[0].path), source);
    EXPECT_FALSE(StoreExists());
}

// The main window's New command, with a watcher that cancels any sheet it sees.
bool NewCommandOpensTheSheet(int jobActiveValue)
{
    std::atomic<bool> stop{false}, opened{false};
    std::thread watcher([&] {
        while (!stop) {
            HWND sheet = FindEditorSheet();
            if (sheet != nullptr) {
                opened = true;
                PostMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            }
            Sleep(10);
        }
    });
    jobActive = jobActiveValue;
    int handled = OnMainCommand(nullptr, IDM_NEW);
    jobActive = 0;
    stop = true;
    watcher.join();
    EXPECT_EQ(handled, 1);
    return opened;
}

TEST_F(ConfigEditor, NewIsRefusedWhileAJobRuns)
{
    EXPECT_FALSE(NewCommandOpensTheSheet(1));
    EXPECT_TRUE(NewCommandOpensTheSheet(0));
    EXPECT_EQ(configTable.configCount, 0);
}

}  // namespace
