// The file and folder choosers with the common dialogs replaced by doubles: what they ask the
// dialogs, what they return, and the folders they remember.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "EditorTestSupport.h"
#include "FileChoosers.h"
#include "GlobalSettings.h"

namespace {

std::string LastFileAdd()
{
    char folder[1024] = "";
    ReadSettingString("dirloc", "lastfileadd", folder, "(none)", sizeof folder);
    return folder;
}

class FileChoosers : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobalSettings(); }
    void TearDown() override
    {
        WriteSettingString("dirloc", "lastfileadd", "");
        ResetGlobalSettings();
    }
    FakeCommonDialogs dialogs;
};

TEST_F(FileChoosers, OneChosenFileRemembersItsFolderWithoutSeparator)
{
    WriteSettingString("dirloc", "lastfileadd", "C:\\Before");
    dialogs.files = "C:\\Data\\a.txt";
    dialogs.fileTitle = "a.txt";
    dialogs.fileOffset = 8;
    std::string buffer(kSourceFileBufferSize, '\0');
    int firstName = -1;
    EXPECT_NE(ChooseSourceFiles(nullptr, &buffer[0], "Select File(s) for Backup", &firstName), 0);
    EXPECT_EQ(firstName, 8);
    EXPECT_EQ(LastFileAdd(), "C:\\Data");
    const OPENFILENAMEA &asked = dialogs.lastOpen;
    EXPECT_EQ(asked.Flags, 0x81200u);
    EXPECT_EQ(asked.nMaxFile, 0x8000u);
    EXPECT_EQ(asked.nMaxFileTitle, 1024u);
    EXPECT_EQ(asked.nFilterIndex, 1u);
    EXPECT_EQ(dialogs.lastOpenFilter, "");
    EXPECT_EQ(dialogs.lastOpenTitle, "Select File(s) for Backup");
    EXPECT_EQ(dialogs.lastOpenInitialFolder, "C:\\Before");
}

TEST_F(FileChoosers, TheFolderIsWhatStandsBeforeTheLastName)
{
    struct Case {
        const char *file, *title, *folder;
    };
    const Case cases[] = {
        {"C:\\Data\\Data", "Data", "C:\\Data"}, // the title also names a folder
        {"C:\\a.txt\\a.txt", "a.txt", "C:\\a.txt"},
        {"C:\\a.txt", "a.txt", "C:\\"}, // a root keeps its separator
        {"\\\\server\\share\\a.txt", "a.txt", "\\\\server\\share"},
        {"C:\\Reports \x96 2024\\Report \x96 final.txt", "Report \x96 final.txt", "C:\\Reports \x96 2024"},
    };
    for (const Case &c : cases) {
        WriteSettingString("dirloc", "lastfileadd", "(kept)");
        dialogs.files = c.file;
        dialogs.fileTitle = c.title;
        std::string buffer(kSourceFileBufferSize, '\0');
        int firstName = -1;
        EXPECT_NE(ChooseSourceFiles(nullptr, &buffer[0], "Select File(s) for Backup", &firstName), 0) << c.file;
        EXPECT_EQ(LastFileAdd(), c.folder) << c.file;
    }
}

TEST_F(FileChoosers, TitleNotInTheFirstStringLeavesTheFolderAndCancelToo)
{
    WriteSettingString("dirloc", "lastfileadd", "C:\\Kept");
    dialogs.files = std::string("C:\\Data\0a.txt\0b.txt\0", 20);
    dialogs.fileTitle = "zz";
    dialogs.fileOffset = 8;
    std::string buffer(kSourceFileBufferSize, '\0');
    int firstName = -1;
    EXPECT_NE(ChooseSourceFiles(nullptr, &buffer[0], "Select File(s) to Exclude", &firstName), 0);
    EXPECT_EQ(LastFileAdd(), "C:\\Kept");
    dialogs.chosen = 0;
    dialogs.fileOffset = 0;
    EXPECT_EQ(ChooseSourceFiles(nullptr, &buffer[0], "Select File(s) to Exclude", &firstName), 0);
    EXPECT_EQ(firstName, 0);
    EXPECT_EQ(LastFileAdd(), "C:\\Kept");
}

TEST_F(FileChoosers, ProgramChooserRemembersTheFolderInMemory)
{
    lstrcpynA(gSettings.programFolder, "c:\\", sizeof gSettings.programFolder);
    dialogs.files = "C:\\Tools\\run.exe";
    char path[260] = "old";
    EXPECT_NE(ChooseProgramFile(nullptr, path), 0);
    EXPECT_STREQ(path, "C:\\Tools\\run.exe");
    EXPECT_STREQ(gSettings.programFolder, "C:\\Tools\\");
    EXPECT_EQ(dialogs.lastOpen.Flags, 0x1004u);
    EXPECT_EQ(dialogs.lastOpen.nMaxFile, 260u);
    EXPECT_EQ(dialogs.lastOpen.lpstrFileTitle, nullptr);
    EXPECT_EQ(dialogs.lastOpenFilter, "Programs|*.exe;*.bat;*.com|All (*.*)|*.*|");
    EXPECT_EQ(dialogs.lastOpenTitle, "Browse for Program");
    EXPECT_EQ(dialogs.lastOpenInitialFolder, "c:\\");

    dialogs.chosen = 0;
    EXPECT_EQ(ChooseProgramFile(nullptr, path), 0);
    EXPECT_STREQ(path, "");
    EXPECT_STREQ(gSettings.programFolder, "C:\\Tools\\");
}

TEST_F(FileChoosers, FolderChooserEndsThePathInOneSeparator)
{
    char path[1024] = "";
    dialogs.folder = "C:\\";
    EXPECT_EQ(ChooseFolder(nullptr, path, "Select Folder for Backup"), 1);
    EXPECT_STREQ(path, "C:\\");
    EXPECT_EQ(dialogs.lastBrowse.ulFlags, 0x50u);
    EXPECT_EQ(dialogs.lastBrowse.pidlRoot, nullptr);
    EXPECT_EQ(dialogs.lastBrowse.pszDisplayName, path);
    EXPECT_EQ(dialogs.lastBrowseTitle, "Select Folder for Backup");

    dialogs.folder = "C:\\windows";
    EXPECT_EQ(ChooseFolder(nullptr, path, "Select Folder to Exclude"), 1);
    EXPECT_STREQ(path, "C:\\windows\\");
}

TEST_F(FileChoosers, CancelOrAFolderWithoutPathGivesNothing)
{
    char path[1024] = "untouched";
    dialogs.folder = "";
    EXPECT_EQ(ChooseFolder(nullptr, path, "Select Folder for Backup"), 0);
    EXPECT_STREQ(path, "untouched");
    dialogs.folder = "printers";
    dialogs.pathFails = true;
    EXPECT_EQ(ChooseFolder(nullptr, path, "Select Folder for Backup"), 0);
    EXPECT_STREQ(path, "untouched");
    EXPECT_EQ(dialogs.browseCalls, 2);
}

}  // namespace
