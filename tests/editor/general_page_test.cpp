// The General page: its apply checks in their order and the amended destination, then the
// page in the running sheet: adding (chooser, folder, drop) without duplicates, removing, the
// destination chooser, refused applies with their focus, the size line and help.
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "AllocationSeam.h"
#include "ConfigTable.h"
#include "EditorTestSupport.h"
#include "GeneralPage.h"
#include "resource.h"

namespace {

void SetSources(const std::vector<std::string> &paths)
{
    free(editedConfig.sources);
    editedConfig.sources = (SourceItem *)calloc(paths.size() + 1, sizeof(SourceItem));
    for (size_t i = 0; i < paths.size(); ++i)
        lstrcpynA(editedConfig.sources[i].path, paths[i].c_str(), sizeof(SourceItem::path));
    editedConfig.sourceCount = (int32_t)paths.size();
}

void SetExcluded(const std::vector<std::string> &items)
{
    free(editedConfig.excludedItems);
    editedConfig.excludedItems = (ExcludedEntry *)calloc(items.size() + 1, sizeof(ExcludedEntry));
    for (size_t i = 0; i < items.size(); ++i)
        lstrcpynA(editedConfig.excludedItems[i], items[i].c_str(), sizeof(ExcludedEntry));
    editedConfig.excludedCount = (int32_t)items.size();
}

class GeneralChecks : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetNewConfigDefaults();
        SetSources({"C:\\Docs\\"});
    }
    void TearDown() override
    {
        FreeConfigArrays(&editedConfig);
        EditorTest::TearDown();
    }
    // The focus id, 0 when every check passed.
    int Check(const std::string &description, const std::string &destination, bool enabled = true)
    {
        text[0] = '\0';
        return CheckGeneralPage(enabled, description.c_str(), destination.c_str(), text, sizeof text);
    }
    char text[2300];
};

TEST_F(GeneralChecks, ChecksStopAtTheFirstFailureInTheirOrder)
{
    SetSources({});
    EXPECT_EQ(Check("", ""), -1);
    EXPECT_STREQ(text, "There is nothing selected for backup.\nPlease select at least one source file or folder.");
    SetSources({"C:\\Database\\"});
    EXPECT_EQ(Check("", ""), IDC_GENERAL_DESCRIPTION);
    EXPECT_STREQ(text, "Please enter a description for this configuration");
    EXPECT_EQ(Check("Job", ""), IDC_GENERAL_BROWSE);
    EXPECT_STREQ(text, "Please specify a destination for the backup");
    // The exclusion check is purely textual: C:\Data also covers C:\Database\.
    SetExcluded({"D:\\Other", "c:\\data"});
    editedConfig.flags &= ~(uint32_t)Enabled;
    EXPECT_EQ(Check("Job", "1", true), IDC_GENERAL_SOURCES);
    EXPECT_STREQ(text, "Illegal excluded item in the filter options.\n\nExcluded Item: c:\\data\n\nConflicts with source: "
                       "C:\\Database\\");
    // Nothing was written by the refused checks.
    EXPECT_EQ(editedConfig.flags & Enabled, 0u);
    EXPECT_STREQ(editedConfig.destination, "");
}

TEST_F(GeneralChecks, DestinationIsTrimmedAndCompleted)
{
    struct Case {
        const char *typed;
        const char *stored;
        bool accepted;
    } cases[] = {
        {"d", "d:\\", true},
        {"c:", "c:\\", true},
        {"x:\\", "x:\\", true},
        {" \t e:\\backup\r\n ", "e:\\backup\\", true},
        {"\\\\server\\share", "\\\\server\\share\\", true},
        {"1", "1\\", false},
        {"   ", "", false},
        {"ab", "ab\\", true},
        {"a\\", "a\\", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        lstrcpynA(editedConfig.destination, "unchanged", sizeof editedConfig.destination);
        int focus = Check("Job", c.typed);
        EXPECT_STREQ(editedConfig.destination, c.stored);
        if (c.accepted) {
            EXPECT_EQ(focus, 0);
        } else {
            EXPECT_EQ(focus, IDC_GENERAL_BROWSE);
            EXPECT_EQ(std::string(text), std::string("The destination path is not valid: ") + c.stored);
        }
    }
}

TEST_F(GeneralChecks, FullLengthDestinationWithoutSeparatorIsRefusedNotOverrun)
{
    std::string typed = "C:\\" + std::string(256, 'p');  // 259 characters, the box's limit
    lstrcpynA(editedConfig.destination, "before", sizeof editedConfig.destination);
    EXPECT_EQ(Check("Job", typed), IDC_GENERAL_BROWSE);
    EXPECT_EQ(std::string(text), "The destination path is not valid: " + typed + "\\");
    EXPECT_STREQ(editedConfig.destination, "before");
    std::string fits = "C:\\" + std::string(255, 'p');
    EXPECT_EQ(Check("Job", fits), 0);
    EXPECT_EQ(std::string(editedConfig.destination), fits + "\\");
}

TEST_F(GeneralChecks, DestinationInsideASourceIsRefused)
{
    SetSources({"E:\\Other\\", "C:\\Data\\"});
    EXPECT_EQ(Check("Job", "c:\\data\\backup"), IDC_GENERAL_BROWSE);
    EXPECT_STREQ(text, "The destination path cannot be located within a backup source.\n\nSource: C:\\Data\\\n"
                       "Destination: c:\\data\\backup\\");
    EXPECT_EQ(Check("Job", "c:\\database"), 0);
    EXPECT_STREQ(editedConfig.description, "Job");
    EXPECT_NE(editedConfig.flags & Enabled, 0u);
    EXPECT_EQ(Check("Job", "c:\\database", false), 0);
    EXPECT_EQ(editedConfig.flags & Enabled, 0u);
}

// Builds the HDROP that the shell hands to a window accepting dropped files.
HDROP MakeDrop(const std::vector<std::string> &paths)
{
    std::string list;
    for (const std::string &path : paths)
        list += path + '\0';
    list += '\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    DROPFILES *drop = (DROPFILES *)GlobalLock(memory);
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    memcpy((char *)drop + sizeof(DROPFILES), list.data(), list.size());
    GlobalUnlock(memory);
    return (HDROP)memory;
}

void AddItem(HWND page, const std::string &path)
{
    SendMessageA(page, WM_ADDITEM, 0, (LPARAM)path.c_str());
}

class GeneralPage : public EditorTest {
protected:
    int AddExisting()
    {
        std::string source = work.path + "src\\";
        MakeFolder(Widen(source));
        return AddConfig("Existing", {source}, work.path + "out\\");
    }
    ScratchFolder work;
    FakeCommonDialogs dialogs;
};

TEST_F(GeneralPage, SourcesAreAddedOnceWhateverTheirCase)
{
    std::vector<std::string> entries;
    int sourceCount = 0, dateFilterCount = -1;
    bool applyEnabled = false;
    RunEditor(-1, [&](HWND sheet, HWND page) {
        editedConfig.dateFilterCount = 5;
        AddItem(page, "C:\\Docs\\");
        AddItem(page, "C:\\Docs\\");
        AddItem(page, "c:\\docs\\");
        AddItem(page, "C:\\" + std::string(1021, 'x'));  // 1024 characters: too long
        entries = ListEntries(GetDlgItem(page, IDC_GENERAL_SOURCES));
        sourceCount = editedConfig.sourceCount;
        dateFilterCount = editedConfig.dateFilterCount;
        applyEnabled = ApplyEnabled(sheet);
    });
    EXPECT_EQ(entries, std::vector<std::string>({"C:\\Docs\\"}));
    EXPECT_EQ(sourceCount, 1);
    EXPECT_EQ(dateFilterCount, 0);
    EXPECT_TRUE(applyEnabled);
}

TEST_F(GeneralPage, SourcesThatCannotGrowAreDropped)
{
    SharedBoxRecorder boxes;
    std::vector<std::string> entries;
    int sourceCount = -1;
    RunEditor(-1, [&](HWND, HWND page) {
        AddItem(page, "C:\\Docs\\");
        FailAllocationForTesting(1);
        AddItem(page, "C:\\More\\");
        FailAllocationForTesting(0);
        entries = ListEntries(GetDlgItem(page, IDC_GENERAL_SOURCES));
        sourceCount = editedConfig.sourceCount;
    });
    ASSERT_EQ(boxes.Count(), 1u);
    EXPECT_EQ(boxes.Texts()[0], "Error: Unable to allocate memory");
    EXPECT_EQ(sourceCount, 0);
    EXPECT_TRUE(entries.empty());
}

TEST_F(GeneralPage, ChosenFilesAreJoinedToTheirFolder)
{
    std::string folder = work.path.substr(0, work.path.size() - 1);
    std::string tooLong(1023 - folder.size(), 'n');
    dialogs.files = folder + '\0' + "a.txt" + '\0' + "b.txt" + '\0' + tooLong + '\0' + "c.txt" + '\0';
    dialogs.fileOffset = (WORD)(folder.size() + 1);
    std::vector<std::string> multiple, single;
    RunEditor(-1, [&](HWND, HWND page) {
        Click(page, IDC_GENERAL_ADD_FILES);
        multiple = ListEntries(GetDlgItem(page, IDC_GENERAL_SOURCES));
        dialogs.files = "C:\\One\\single.txt";
        dialogs.fileOffset = 7;
        Click(page, IDC_GENERAL_ADD_FILES);
        single = ListEntries(GetDlgItem(page, IDC_GENERAL_SOURCES));
    });
    EXPECT_EQ(dialogs.lastOpenTitle, "Select File(s) for Backup");
    EXPECT_EQ(multiple, std::vector<std::string>({work.path + "a.txt", work.path + "b.txt"}));
    EXPECT_EQ(single, std::vector<std::string>({"C:\\One\\single.txt", work.path + "a.txt", work.path + "b.txt"}));
}

TEST_F(GeneralPage, FolderChooserAndDroppedItemsAreAdded)
{
    MakeFolder(Widen(work.path + "chosen"));
    MakeFolder(Widen(work.path + "dropped"));
    WriteTextFile(Widen(work.path + "file.txt"), "x");
    dialogs.folder = work.path + "chosen";
    std::vector<std::string> entries;
    RunEditor(-1, [&](HWND, HWND page) {
        Click(page, IDC_GENERAL_ADD_FOLDER);
        HDROP drop = MakeDrop({work.path + "dropped", work.path + "missing.txt", "C:\\" + std::string(1100, 'y'),
                               work.path + "file.txt"});
        SendMessageA(page, WM_DROPFILES, (WPARAM)drop, 0);
        entries = ListEntries(GetDlgItem(page, IDC_GENERAL_SOURCES));
    });
    EXPECT_EQ(dialogs.lastBrowseTitle, "Select Folder for Backup");
    EXPECT_EQ(entries, std::vector<std::string>({work.path + "chosen\\", work.path + "dropped\\", work.path + "file.txt"}));
}

TEST_F(GeneralPage, RemovingDoesNotEnableApplyButOkSavesIt)
{
    int index = AddExisting();
    {
        BackupConfig *c = ConfigAt(index);
        c->sources = (SourceItem *)realloc(c->sources, 2 * sizeof(SourceItem));
        memset(&c->sources[1], 0, sizeof(SourceItem));
        lstrcpynA(c->sources[1].path, (work.path + "zzz\\").c_str(), sizeof(SourceItem::path));
        c->sourceCount = 2;
    }
    bool removeEnabledBefore = true, removeEnabledAfterSelect = false, removeEnabledAfter = true;
    bool applyEnabled = true;
    std::vector<std::string> entries;
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        HWND list = GetDlgItem(page, IDC_GENERAL_SOURCES);
        // The page's start posts its refresh of the enabled controls after the size line's.
        WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(page, IDC_GENERAL_REMOVE)); }, 2000);
        removeEnabledBefore = IsWindowEnabled(GetDlgItem(page, IDC_GENERAL_REMOVE)) != FALSE;
        SendMessageA(list, LB_SETSEL, TRUE, 1);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_GENERAL_SOURCES, LBN_SELCHANGE), (LPARAM)list);
        WaitUntil([&] { return IsWindowEnabled(GetDlgItem(page, IDC_GENERAL_REMOVE)) != FALSE; }, 2000);
        removeEnabledAfterSelect = IsWindowEnabled(GetDlgItem(page, IDC_GENERAL_REMOVE)) != FALSE;
        Click(page, IDC_GENERAL_REMOVE);
        WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(page, IDC_GENERAL_REMOVE)); }, 2000);
        removeEnabledAfter = IsWindowEnabled(GetDlgItem(page, IDC_GENERAL_REMOVE)) != FALSE;
        entries = ListEntries(list);
        applyEnabled = ApplyEnabled(sheet);
        PressSheetButton(sheet, PSBTN_OK);
    });
    EXPECT_FALSE(removeEnabledBefore);
    EXPECT_TRUE(removeEnabledAfterSelect);
    EXPECT_FALSE(removeEnabledAfter);
    EXPECT_FALSE(applyEnabled);
    EXPECT_EQ(entries, std::vector<std::string>({work.path + "src\\"}));
    EXPECT_EQ(result, 1);
    ASSERT_EQ(ConfigAt(index)->sourceCount, 1);
    EXPECT_EQ(std::string(ConfigAt(index)->sources[0].path), work.path + "src\\");
}

TEST_F(GeneralPage, BrowseReplacesTheDestinationAndMarksThePageChanged)
{
    int index = AddExisting();
    dialogs.folder = work.path + "src";
    std::string destination;
    bool applyBefore = true, applyAfter = false;
    RunEditor(index, [&](HWND sheet, HWND page) {
        applyBefore = ApplyEnabled(sheet);
        Click(page, IDC_GENERAL_BROWSE);
        destination = ControlText(page, IDC_GENERAL_DESTINATION);
        applyAfter = ApplyEnabled(sheet);
    });
    EXPECT_EQ(dialogs.lastBrowseTitle, "Select Destination Folder for Backup");
    EXPECT_EQ(dialogs.lastBrowse.ulFlags, 0x50u);
    EXPECT_EQ(destination, work.path + "src\\");
    EXPECT_FALSE(applyBefore);
    EXPECT_TRUE(applyAfter);
}

TEST_F(GeneralPage, RefusedApplyKeepsTheSheetOpenAndFocusesTheField)
{
    int index = AddExisting();
    SharedBoxRecorder boxes;
    HWND focusDescription = nullptr, focusBrowseEmpty = nullptr, focusBrowseInside = nullptr;
    HWND descriptionBox = nullptr, browseButton = nullptr;
    bool openAfterRefusals = false;
    std::vector<std::string> texts;
    int result = RunEditor(index, [&](HWND sheet, HWND page) {
        descriptionBox = GetDlgItem(page, IDC_GENERAL_DESCRIPTION);
        browseButton = GetDlgItem(page, IDC_GENERAL_BROWSE);
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "");
        PressSheetButton(sheet, PSBTN_OK);
        focusDescription = FocusOfWindowThread();
        SetControlText(page, IDC_GENERAL_DESCRIPTION, "Renamed");
        SetControlText(page, IDC_GENERAL_DESTINATION, "");
        PressSheetButton(sheet, PSBTN_OK);
        focusBrowseEmpty = FocusOfWindowThread();
        SetControlText(page, IDC_GENERAL_DESTINATION, work.path + "src\\inside");
        PressSheetButton(sheet, PSBTN_OK);
        focusBrowseInside = FocusOfWindowThread();
        openAfterRefusals = IsWindow(sheet) && IsWindowVisible(sheet);
        texts = boxes.Texts();
        SetControlText(page, IDC_GENERAL_DESTINATION, work.path + "elsewhere");
        PressSheetButton(sheet, PSBTN_OK);
    });
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "Please enter a description for this configuration");
    EXPECT_EQ(texts[1], "Please specify a destination for the backup");
    EXPECT_EQ(texts[2], "The destination path cannot be located within a backup source.\n\nSource: " + work.path +
                            "src\\\nDestination: " + work.path + "src\\inside\\");
    EXPECT_EQ(focusDescription, descriptionBox);
    EXPECT_EQ(focusBrowseEmpty, browseButton);
    EXPECT_EQ(focusBrowseInside, browseButton);
    EXPECT_TRUE(openAfterRefusals);
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(ConfigAt(index)->description, "Renamed");
    EXPECT_EQ(std::string(ConfigAt(index)->destination), work.path + "elsewhere\\");
}

TEST_F(GeneralPage, SizeLineFollowsTheMeasuredSources)
{
    std::string source = work.path + "measured\\";
    MakeFolder(Widen(source));
    WriteTextFile(Widen(source + "a.bin"), std::string(1000, 'a'));
    WriteTextFile(Widen(source + "b.bin"), std::string(2000, 'b'));
    int index = AddConfig("Measured", {source}, work.path + "out\\");
    ConfigAt(index)->sources[0].sizeKnown = 1;  // the page measures afresh anyway
    ConfigAt(index)->sources[0].fileCount = 99;
    std::string files, size;
    RunEditor(index, [&](HWND, HWND page) {
        WaitUntil([&] { return ControlText(page, IDC_GENERAL_FILE_COUNT) == "# Files: 2"; });
        files = ControlText(page, IDC_GENERAL_FILE_COUNT);
        size = ControlText(page, IDC_GENERAL_SIZE);
    });
    EXPECT_EQ(files, "# Files: 2");
    EXPECT_EQ(size.rfind("Size: ", 0), 0u);
    EXPECT_EQ(size.find("..."), std::string::npos);
}

TEST_F(GeneralPage, HelpShowsPopupsForListedControlsAndTheTopicOtherwise)
{
    std::vector<std::string> popupCalls, topicCalls, buttonCalls;
    RunEditor(-1, [&](HWND sheet, HWND page) {
        HELPINFO info;
        memset(&info, 0, sizeof info);
        info.cbSize = sizeof info;
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = IDC_GENERAL_DESTINATION;
        info.hItemHandle = GetDlgItem(page, IDC_GENERAL_DESTINATION);
        SendMessageA(page, WM_HELP, 0, (LPARAM)&info);
        popupCalls = HelpCalls();
        ClearHelpCalls();
        info.iCtrlId = IDC_GENERAL_DRAGDROP_TIP;
        info.hItemHandle = GetDlgItem(page, IDC_GENERAL_DRAGDROP_TIP);
        SendMessageA(page, WM_HELP, 0, (LPARAM)&info);
        topicCalls = HelpCalls();
        ClearHelpCalls();
        PressSheetButton(sheet, PSBTN_HELP);
        buttonCalls = HelpCalls();
    });
    ASSERT_EQ(popupCalls.size(), 1u);
    EXPECT_EQ(popupCalls[0].rfind("14 ", 0), 0u);
    EXPECT_NE(popupCalls[0].find("Korrin.chm::/popups\\CfgGeneral.txt' " HELP_POPUP_SIZE " instance=0 id=1008 "), std::string::npos);
    ASSERT_EQ(topicCalls.size(), 2u);
    EXPECT_NE(topicCalls[1].find("keywords='configuration editor - general'"), std::string::npos);
    ASSERT_EQ(buttonCalls.size(), 2u);
    EXPECT_NE(buttonCalls[1].find("keywords='configuration editor - general'"), std::string::npos);
}

}  // namespace
