// Whole backup jobs on real folders: the mirror, its revisions and deleted files, the
// exclusion pass, the filters, the programs around the backup and the job log's exact lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "BackupConfig.h"
#include "Calendar.h"
#include "Clock.h"
#include "FolderChangeTime.h"
#include "FolderHelpers.h"
#include "LongPath.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobTestSupport.h"
#include "JobThread.h"
#include "MirrorPath.h"
#include "ZipStep.h"

namespace {

// Every item under folder by its exact spelling: "<dir>" for a folder, else its contents.
std::map<std::wstring, std::string> TreeOf(const std::wstring &folder, const std::wstring &under = L"")
{
    std::map<std::wstring, std::string> items;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((L"\\\\?\\" + folder + under + L"*").c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry)) {
        std::wstring name = under + entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            items[name] = ReadTextFile(L"\\\\?\\" + folder + name);
        else if (entry.cFileName[0] != L'.' && items.emplace(name + L"\\", "<dir>").second)
            items.merge(TreeOf(folder, name + L"\\"));
    }
    FindClose(search);
    return items;
}

// Renames by case as Windows does: under Wine a direct rename to another case changes nothing.
bool RenameByCase(const std::wstring &from, const std::wstring &to)
{
    return MoveFileW(from.c_str(), (from + L".case").c_str()) && MoveFileW((from + L".case").c_str(), to.c_str());
}

const char kStarted[] = "************************** Backup Job Started **************************";
const char kFinished[] = "************************** Backup Job Finished *************************";

class JobRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SYSTEMTIME fixed = {};
        fixed.wYear = 2031;
        fixed.wMonth = 5;
        fixed.wDay = 14;
        fixed.wHour = 9;
        fixed.wMinute = 30;
        SetClockForTesting(&fixed);
        FormatSystemTime(timeText, sizeof(timeText), &fixed);
        source = env.work.Wide() + L"src\\";
        destination = env.work.path + "dest\\";
        MakeFolder(source);
        MakeFolder(Widen(destination));
    }
    void TearDown() override { SetClockForTesting(nullptr); }

    int AddJob(uint32_t flags, const std::string &description = "Job A")
    {
        return env.AddConfig(description, destination, {Narrow(source)}, flags);
    }
    // Where a source folder's files land.
    std::wstring MirrorOf(const std::wstring &folder, const std::string &description = "Job A")
    {
        wchar_t out[kWidePathChars];
        std::string root = destination + description + "\\";
        if (!BuildMirrorPath(root.c_str(), folder.c_str(), nullptr, 0, out, kWidePathChars, 0))
            return L"";
        return out;
    }
    std::wstring DeletedOf(const std::wstring &folder)
    {
        wchar_t out[kWidePathChars];
        std::string root = destination + "Job A\\Deleted\\";
        BuildMirrorPath(root.c_str(), folder.c_str(), nullptr, 0, out, kWidePathChars, 0);
        return out;
    }
    std::wstring RevisionsOf(const std::wstring &folder)
    {
        wchar_t out[kWidePathChars];
        std::string root = destination + "Job A\\Revisions\\";
        BuildMirrorPath(root.c_str(), folder.c_str(), nullptr, 0, out, kWidePathChars, 0);
        return out;
    }
    // The run ends Success with the mirror equal to the source.
    void ExpectMirrorFollows(int index)
    {
        EXPECT_EQ(env.RunJob(index), 1) << env.LogText(index);
        EXPECT_EQ(TreeOf(MirrorOf(source)), TreeOf(source));
    }
    std::string Started() { return std::string("Started: ") + timeText; }
    std::string FinishedLine() { return std::string("Finished: ") + timeText; }

    JobTestEnvironment env;
    std::wstring source;
    std::string destination;
    char timeText[128];
};

TEST_F(JobRunTest, FirstRunCopiesEveryFileAndWritesTheLog)
{
    WriteTextFile(source + L"a.txt", "alpha");
    MakeFolder(source + L"sub");
    WriteTextFile(source + L"sub\\b.txt", "bravo!");
    int index = AddJob(Enabled | Uncompressed);
    EXPECT_EQ(env.RunJob(index), 1);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "alpha");
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"sub\\b.txt"), "bravo!");
    std::vector<std::string> expected = {
        kStarted,
        "Configuration: Job A",
        Started(),
        "Uncompressed File/Folder Backup Statistics (# Files / Size):",
        "\tTotal : 2 / 11 bytes",
        "\t\tNot Changed : 0 / 0 bytes",
        "\t\tChanged     : 2 / 11 bytes",
        "\t\t\tCopied Successfully : 2 / 11 bytes",
        "\t\t\tCopy Failed         : 0 / 0 bytes",
        "Revisions and Deleted File Statistics (# Files):",
        "\tNot Saving Revisions",
        "\tDeleted From Backup: 0",
        "Job Result: Success",
        FinishedLine(),
        kFinished,
        "",
    };
    EXPECT_EQ(env.LogLines(index), expected);
    EXPECT_EQ(env.Config(index)->lastResult, 1);
    EXPECT_EQ(env.shell.finishedCount, 1);
    EXPECT_EQ(env.shell.finishedId, env.Config(index)->uniqueId);
    EXPECT_EQ(env.Config(index)->running, 0);
}

TEST_F(JobRunTest, UnchangedRerunCopiesNothingAndNewestRunStandsFirst)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob(Enabled | Uncompressed);
    ASSERT_EQ(env.RunJob(index), 1);
    ASSERT_EQ(env.RunJob(index), 1);
    std::vector<std::string> lines = env.LogLines(index);
    ASSERT_GE(lines.size(), 32u);
    EXPECT_EQ(lines[4], "\tTotal : 1 / 5 bytes");
    EXPECT_EQ(lines[5], "\t\tNot Changed : 1 / 5 bytes");
    EXPECT_EQ(lines[6], "\t\tChanged     : 0 / 0 bytes");
    EXPECT_EQ(lines[16], kStarted);
    EXPECT_EQ(lines[21], "\t\tNot Changed : 0 / 0 bytes");
    EXPECT_EQ(CountLinesStartingWith(lines, "Job Result: Success"), 2);
    EXPECT_FALSE(FileExists(Widen(env.data.path + "1.txt.tmp")));
}

TEST_F(JobRunTest, ChangedFilesRotateRevisionsUpToTheCount)
{
    int index = AddJob(Enabled | Uncompressed | SaveRevisions);
    env.Config(index)->revisionCount = 2;
    std::wstring file = source + L"report.doc";
    std::wstring revisions = RevisionsOf(source);
    const long long day = 864000000000LL;
    const long long base = 130000000000000000LL;
    for (int run = 0; run < 4; ++run) {
        WriteTextFile(file, "version " + std::to_string(run));
        SetWriteTicks(file, base + run * day);
        ASSERT_EQ(env.RunJob(index), 1) << run;
        if (run == 1) {
            EXPECT_EQ(ReadTextFile(revisions + L"report.1.doc"), "version 0");
            EXPECT_FALSE(FileExists(revisions + L"report.2.doc"));
        }
        if (run == 2) {
            EXPECT_EQ(ReadTextFile(revisions + L"report.2.doc"), "version 1");
        }
    }
    // Both numbers taken: the oldest (revision 1, "version 0") gives way to "version 2".
    EXPECT_EQ(ReadTextFile(revisions + L"report.1.doc"), "version 2");
    EXPECT_EQ(ReadTextFile(revisions + L"report.2.doc"), "version 1");
    EXPECT_FALSE(FileExists(revisions + L"report.3.doc"));
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"report.doc"), "version 3");
    EXPECT_TRUE(HasLine(env.LogLines(index), "\tRevised : 1"));
}

TEST_F(JobRunTest, NamesWithoutDotsAndWithTwoDotsGetRevisionNumbersBeforeTheLastDot)
{
    int index = AddJob(Enabled | Uncompressed | SaveRevisions);
    WriteTextFile(source + L"notes", "1");
    WriteTextFile(source + L"archive.tar.gz", "1");
    ASSERT_EQ(env.RunJob(index), 1);
    WriteTextFile(source + L"notes", "22");
    WriteTextFile(source + L"archive.tar.gz", "22");
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_EQ(ReadTextFile(RevisionsOf(source) + L"notes.1"), "1");
    EXPECT_EQ(ReadTextFile(RevisionsOf(source) + L"archive.tar.1.gz"), "1");
}

TEST_F(JobRunTest, DeletedFilesAreKeptAsideAndLeaveTheMirror)
{
    WriteTextFile(source + L"keep.txt", "k");
    WriteTextFile(source + L"gone.txt", "g");
    MakeFolder(source + L"old");
    WriteTextFile(source + L"old\\inner.txt", "i");
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    ASSERT_EQ(env.RunJob(index), 1);
    SetFileAttributesW((MirrorOf(source) + L"gone.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    DeleteFileW((source + L"gone.txt").c_str());
    DeleteFileW((source + L"old\\inner.txt").c_str());
    RemoveDirectoryW((source + L"old").c_str());
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"gone.txt"));
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"old"));
    EXPECT_TRUE(FileExists(MirrorOf(source) + L"keep.txt"));
    EXPECT_EQ(ReadTextFile(DeletedOf(source) + L"gone.txt"), "g");
    EXPECT_EQ(ReadTextFile(DeletedOf(source) + L"old\\inner.txt"), "i");
    EXPECT_TRUE(HasLine(env.LogLines(index), "\tDeleted From Backup: 2"));
}

TEST_F(JobRunTest, VerboseLogNamesEveryDeletedFileAndFolder)
{
    WriteTextFile(source + L"gone.txt", "g");
    MakeFolder(source + L"old");
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    gSettings.logVerbose = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    DeleteFileW((source + L"gone.txt").c_str());
    RemoveDirectoryW((source + L"old").c_str());
    ASSERT_EQ(env.RunJob(index), 1);
    std::vector<std::string> lines = env.LogLines(index);
    std::string mirror = Narrow(MirrorOf(source));
    std::string kept = Narrow(DeletedOf(source));
    EXPECT_TRUE(HasLine(lines, "Removed deleted file from: " + mirror + "gone.txt"));
    EXPECT_TRUE(HasLine(lines, "Removed deleted folder: " + mirror + "old"));
    EXPECT_TRUE(HasLine(lines, "Copied deleted file:"));
    EXPECT_TRUE(HasLine(lines, "\tTo:   " + kept + "gone.txt"));
}

TEST_F(JobRunTest, SourceFolderThatCannotBeListedIsAWarningAndItsMirrorStays)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    gSettings.removeExcluded = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    // The drive is "unplugged": the source folder is gone as a whole.
    std::wstring away = env.work.Wide() + L"away";
    ASSERT_TRUE(MoveFileW(source.substr(0, source.size() - 1).c_str(), away.c_str()));
    EXPECT_EQ(env.RunJob(index), 3);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "alpha") << env.LogText(index);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 0"));
    EXPECT_TRUE(HasLine(lines, "Job Result: Warnings"));
}

TEST_F(JobRunTest, ExcludedItemsAreRemovedAtComponentBoundaries)
{
    MakeFolder(source + L"data");
    MakeFolder(source + L"database");
    WriteTextFile(source + L"data\\x.txt", "x");
    WriteTextFile(source + L"database\\y.txt", "y");
    WriteTextFile(source + L"top.txt", "t");
    int index = AddJob(Enabled | Uncompressed);
    gSettings.removeExcluded = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    ASSERT_TRUE(FileExists(MirrorOf(source) + L"data\\x.txt"));
    env.AddExcluded(index, Narrow(source) + "data");
    // A file placed directly in the backup folder is never touched.
    WriteTextFile(Widen(destination) + L"Job A\\loose.txt", "l");
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"data"));
    EXPECT_TRUE(FileExists(MirrorOf(source) + L"database\\y.txt"));
    EXPECT_TRUE(FileExists(MirrorOf(source) + L"top.txt"));
    EXPECT_TRUE(FileExists(Widen(destination) + L"Job A\\loose.txt"));
}

TEST_F(JobRunTest, SourceTakenOutOfTheConfigurationLeavesTheBackup)
{
    std::wstring second = env.work.Wide() + L"second\\";
    MakeFolder(second);
    WriteTextFile(second + L"s.txt", "s");
    WriteTextFile(source + L"a.txt", "a");
    int index = env.AddConfig("Job A", destination, {Narrow(source), Narrow(second)}, Enabled | Uncompressed);
    gSettings.removeExcluded = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    ASSERT_TRUE(FileExists(MirrorOf(second) + L"s.txt"));
    env.Config(index)->sourceCount = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_FALSE(FileExists(MirrorOf(second)));
    EXPECT_TRUE(FileExists(MirrorOf(source) + L"a.txt"));
}

TEST_F(JobRunTest, SourceOnADriveOfItsOwnLeavesWithItsWholeTopFolder)
{
    std::wstring other = L"Z:\\tmp\\vlr_job_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    ASSERT_TRUE(MakeFolder(other));
    WriteTextFile(other + L"z.txt", "z");
    WriteTextFile(source + L"a.txt", "a");
    int index = env.AddConfig("Job A", destination, {Narrow(source), Narrow(other)}, Enabled | Uncompressed);
    gSettings.removeExcluded = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    ASSERT_TRUE(FileExists(Widen(destination) + L"Job A\\Z\\"));
    env.Config(index)->sourceCount = 1;
    gSettings.logVerbose = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_FALSE(FileExists(Widen(destination) + L"Job A\\Z"));
    EXPECT_TRUE(FileExists(MirrorOf(source) + L"a.txt"));
    EXPECT_TRUE(HasLine(env.LogLines(index), "Removing excluded folder from backup: " + destination + "Job A\\Z\\"));
    RemoveTreeW(other);
}

TEST_F(JobRunTest, HiddenMirrorFileLeavesWhenHiddenFilesAreSkippedLater)
{
    // Wine reports names that start with a dot as hidden.
    WriteTextFile(source + L".secret", "s");
    WriteTextFile(source + L"plain.txt", "p");
    if (!(GetFileAttributesW((source + L".secret").c_str()) & FILE_ATTRIBUTE_HIDDEN))
        GTEST_SKIP() << "this file system keeps no hidden attribute";
    int index = AddJob(Enabled | Uncompressed);
    gSettings.removeExcluded = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    ASSERT_TRUE(FileExists(MirrorOf(source) + L".secret"));
    env.SetExtensions(index, {}, SkipHidden);
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_FALSE(FileExists(MirrorOf(source) + L".secret"));
    EXPECT_TRUE(FileExists(MirrorOf(source) + L"plain.txt"));
}

TEST_F(JobRunTest, FileNamedAsASourceStaysEvenWhenExcluded)
{
    WriteTextFile(source + L"keep.txt", "k");
    WriteTextFile(source + L"drop.txt", "d");
    std::string keep = Narrow(source) + "keep.txt";
    int index = env.AddConfig("Job A", destination, {Narrow(source), keep}, Enabled | Uncompressed);
    gSettings.removeExcluded = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    env.AddExcluded(index, keep);
    env.AddExcluded(index, Narrow(source) + "drop.txt");
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_TRUE(FileExists(MirrorOf(source) + L"keep.txt"));
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"drop.txt"));
}

TEST_F(JobRunTest, EmptyNameKeepsTheExclusionPassOutOfTheDestination)
{
    WriteTextFile(source + L"a.txt", "a");
    std::wstring other = Widen(destination) + L"SomethingElse\\";
    MakeFolder(other);
    WriteTextFile(other + L"precious.txt", "p");
    int index = AddJob(Enabled | Uncompressed, "???");
    gSettings.removeExcluded = 1;
    EXPECT_EQ(env.RunJob(index), 1);
    EXPECT_TRUE(FileExists(other + L"precious.txt"));
    EXPECT_TRUE(HasLine(env.LogLines(index), "WARNING: Configuration name is empty, so the backup folder is the "
                                             "destination itself; excluded items are not removed"));
    wchar_t out[kWidePathChars];
    BuildMirrorPath(destination.c_str(), source.c_str(), nullptr, 0, out, kWidePathChars, 0);
    EXPECT_TRUE(FileExists(std::wstring(out) + L"a.txt"));
}

TEST_F(JobRunTest, ExtensionAndHiddenFilters)
{
    WriteTextFile(source + L"a.doc", "a");
    WriteTextFile(source + L"b.DOC", "b");
    WriteTextFile(source + L"c.txt", "c");
    WriteTextFile(source + L"noext", "n");
    WriteTextFile(source + L"h.doc", "h");
    SetFileAttributesW((source + L"h.doc").c_str(), FILE_ATTRIBUTE_HIDDEN);
    int index = AddJob(Enabled | Uncompressed);
    env.SetExtensions(index, {"doc"}, IncludeListedExtensions | SkipHidden);
    ASSERT_EQ(env.RunJob(index), 1);
    std::wstring mirror = MirrorOf(source);
    EXPECT_TRUE(FileExists(mirror + L"a.doc"));
    EXPECT_TRUE(FileExists(mirror + L"b.DOC"));
    EXPECT_FALSE(FileExists(mirror + L"c.txt"));
    EXPECT_FALSE(FileExists(mirror + L"noext"));
    if (GetFileAttributesW((source + L"h.doc").c_str()) & FILE_ATTRIBUTE_HIDDEN) {
        EXPECT_FALSE(FileExists(mirror + L"h.doc"));
    }
    env.SetExtensions(index, {"doc"}, 0);
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_TRUE(FileExists(mirror + L"c.txt"));
    EXPECT_TRUE(FileExists(mirror + L"noext"));
}

TEST_F(JobRunTest, DateVariablesInTheDestination)
{
    WriteTextFile(source + L"a.txt", "a");
    int index = env.AddConfig("Job A", destination + "[[YEAR]]\\", {Narrow(source)}, Enabled | Uncompressed);
    ASSERT_EQ(env.RunJob(index), 1);
    wchar_t out[kWidePathChars];
    std::string root = destination + "2031\\Job A\\";
    BuildMirrorPath(root.c_str(), source.c_str(), nullptr, 0, out, kWidePathChars, 0);
    EXPECT_EQ(ReadTextFile(std::wstring(out) + L"a.txt"), "a");
}

TEST_F(JobRunTest, ProgramsBeforeAndAfterLogTheirExitCodesWithoutChangingTheResult)
{
    WriteTextFile(source + L"a.txt", "a");
    int index = AddJob(Enabled | Uncompressed | RunProgramBefore | RunProgramAfter);
    strcpy(env.Config(index)->programBefore, "cmd.exe /c exit 3");
    strcpy(env.Config(index)->programAfter, "cmd.exe /c exit 0");
    EXPECT_EQ(env.RunJob(index), 1);
    std::vector<std::string> lines = env.LogLines(index);
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[3], "Starting External Process: cmd.exe /c exit 3");
    EXPECT_EQ(lines[4], "\tProcess completed with return code: 3");
    EXPECT_TRUE(HasLine(lines, "Starting External Process: cmd.exe /c exit 0"));
    EXPECT_TRUE(HasLine(lines, "\tProcess completed with return code: 0"));
}

TEST_F(JobRunTest, ProgramThatCannotStartIsAWarningLineOnly)
{
    WriteTextFile(source + L"a.txt", "a");
    int index = AddJob(Enabled | Uncompressed | RunProgramBefore);
    strcpy(env.Config(index)->programBefore, "Z:\\no\\such\\program.exe");
    EXPECT_EQ(env.RunJob(index), 1);
    EXPECT_TRUE(HasLine(env.LogLines(index), "WARNING: Unable to run process: Z:\\no\\such\\program.exe"));
}

TEST_F(JobRunTest, MissingFileSourceIsAWarning)
{
    std::string missing = Narrow(source) + "missing.txt";
    WriteTextFile(source + L"present.txt", "p");
    int index = env.AddConfig("Job A", destination, {missing, Narrow(source) + "present.txt"}, Enabled | Uncompressed);
    EXPECT_EQ(env.RunJob(index), 3);
    EXPECT_TRUE(HasLine(env.LogLines(index), "WARNING: Unable to find file: " + missing));
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"present.txt"), "p");
}

TEST_F(JobRunTest, PathTooLongEndsTheJobFailed)
{
    std::string longDestination = destination + std::string(150, 'd') + "\\";
    std::string description(100, 'n');
    int index = env.AddConfig(description, longDestination, {Narrow(source)}, Enabled | Uncompressed);
    EXPECT_EQ(env.RunJob(index), 2);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "WARNING: Path too long: " + longDestination + description));
    EXPECT_TRUE(HasLine(lines, "Job Result: Failed"));
}

TEST_F(JobRunTest, SuccessfulCompressedRunAdvancesTheDateFilterAndAWarningDoesNot)
{
    char libraries[MAX_PATH] = "";
    GetEnvironmentVariableA("VELLORAN_BIN_DIR", libraries, sizeof libraries);
    SetCompressionLibraryFolder(libraries);
    WriteTextFile(source + L"a.txt", "a");
    int index = AddJob(Enabled | Uncompressed | Compressed);
    BackupConfig *config = env.Config(index);
    config->dateFilterFlags = 0; // changed files only, so the count goes on
    // A new archive each run; the first lists all files.
    lstrcpynA(config->compressedFileName, "Backup_[[UNIQUE]].zip", sizeof(config->compressedFileName));
    for (int run = 1; run <= 2; ++run) {
        ++config->runCount;
        ASSERT_EQ(env.RunJob(index), 1);
        EXPECT_EQ(config->dateFilterCount, run);
    }
    SYSTEMTIME utc;
    GetUtcNow(&utc);
    EXPECT_EQ(config->lastCompressedRunTime.wYear, utc.wYear);
    EXPECT_EQ(config->lastCompressedRunTime.wHour, utc.wHour);
    EXPECT_TRUE(FileExists(Widen(destination) + L"Job A\\Compressed"));
    config->lastCompressedRunTime.wYear = 1999;
    DeleteFileW((source + L"a.txt").c_str());
    strcpy(config->sources[0].path, (Narrow(source) + "missing.txt").c_str());
    ASSERT_EQ(env.RunJob(index), 3);
    EXPECT_EQ(config->dateFilterCount, 2);
    EXPECT_EQ(config->lastCompressedRunTime.wYear, 1999);
    SetCompressionLibraryFolder(nullptr);
}

TEST_F(JobRunTest, DisabledConfigurationWritesOnlyTheFooterAboveTheOlderText)
{
    int index = AddJob(Uncompressed);
    WriteTextFile(Widen(env.data.path + "1.txt"), "older run\n");
    EXPECT_EQ(env.RunJob(index), 6);
    std::vector<std::string> expected = {"Job Result: Disabled", FinishedLine(), kFinished, "", "older run"};
    EXPECT_EQ(env.LogLines(index), expected);
}

TEST_F(JobRunTest, NeitherBackupKindIsResultSevenWithAnEmptyWord)
{
    int index = AddJob(Enabled);
    EXPECT_EQ(env.RunJob(index), 7);
    std::vector<std::string> expected = {kStarted, "Configuration: Job A", Started(), "Job Result: ", FinishedLine(),
                                         kFinished, ""};
    EXPECT_EQ(env.LogLines(index), expected);
}

TEST_F(JobRunTest, StopBeforeTheLogOpensLeavesTheOlderLogAlone)
{
    int index = AddJob(Enabled | Uncompressed);
    WriteTextFile(Widen(env.data.path + "1.txt"), "older run\n");
    BackupConfig *config = env.Config(index);
    config->cancelRequested = 1;
    config->running = 1;
    EXPECT_EQ((int)RunBackupJob(config), 4);
    EXPECT_EQ(env.LogText(index), "older run\n");
}

TEST_F(JobRunTest, LogThatCannotBeSetAsideIsAppendedToNotTruncated)
{
    WriteTextFile(source + L"a.txt", "a");
    int index = AddJob(Enabled | Uncompressed);
    WriteTextFile(Widen(env.data.path + "1.txt"), "older run\n");
    // A folder in the way of the set-aside copy.
    MakeFolder(Widen(env.data.path + "1.txt.tmp"));
    EXPECT_EQ(env.RunJob(index), 1);
    std::vector<std::string> lines = env.LogLines(index);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "older run");
    EXPECT_EQ(lines[1], kStarted);
}

TEST_F(JobRunTest, WideFileNamesAreCopiedUnderTheirOwnNames)
{
    std::wstring omega = L"\u03a9mega \u4e2d\u6587.txt";
    WriteTextFile(source + omega, "wide");
    WriteTextFile(source + L"plain.txt", "plain");
    int index = AddJob(Enabled | Uncompressed);
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + omega), "wide");
    ASSERT_EQ(env.RunJob(index), 1);
    EXPECT_TRUE(HasLine(env.LogLines(index), "\t\tNot Changed : 2 / 9 bytes"));
}

// Copying files and making folders moves a mirror folder's last-write time: after a run
// every mirror folder still carries its source's, whether it received files, only a
// subfolder, or nothing, and an unchanged rerun writes none of them.
TEST_F(JobRunTest, MirrorFoldersKeepTheirSourcesTimesAndAnUnchangedRerunStampsNone)
{
    struct Folder {
        std::wstring path; // under the source, "" for the source itself
        bool withFile;
    };
    const std::vector<Folder> folders = {
        {L"", true},
        {L"Docs", true},
        {L"Docs\\Nested", true},
        {L"Docs\\Nested\\Deeper", true},
        {L"Bob\u2019s \u201cquoted\u201d \u2013 \u20ac5", true},
        {L"\u041e\u0442\u0447\u0451\u0442\u044b", true},
        {L"Only folders", false},
        {L"Only folders\\Inner", true},
        {L"Empty", false},
    };
    for (const Folder &folder : folders) {
        ASSERT_TRUE(MakeFolder(source + folder.path)) << Narrow(folder.path);
        if (folder.withFile) {
            ASSERT_TRUE(WriteTextFile(source + folder.path + L"\\f \u20ac.txt", "file"));
        }
    }
    // Deepest first, so that setting a folder's time moves no parent's.
    for (size_t i = folders.size(); i-- > 0;)
        ASSERT_TRUE(SetWriteTicks(source + folders[i].path, 130000000000000000LL + (long long)i * 864000000000LL));
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    std::vector<LONGLONG> stamped;
    for (const Folder &folder : folders) {
        std::wstring mirror = MirrorOf(source) + folder.path;
        EXPECT_EQ(GetWriteTicks(mirror), GetWriteTicks(source + folder.path)) << Narrow(folder.path);
        stamped.push_back(ChangeTimeOf(mirror));
    }
    Sleep(50);
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    EXPECT_TRUE(HasLine(env.LogLines(index), "\t\tNot Changed : 7 / 28 bytes")) << env.LogText(index);
    for (size_t i = 0; i < folders.size(); ++i)
        EXPECT_EQ(ChangeTimeOf(MirrorOf(source) + folders[i].path), stamped[i])
            << "stamped again: " << Narrow(folders[i].path);

    // A later run that makes a subfolder, copies a file, removes a file or removes a folder
    // writes into the folder again; one whose attributes alone changed gets them.
    ASSERT_TRUE(SetFileAttributesW((source + L"Docs").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(MakeFolder(source + L"Only folders\\Later"));
    ASSERT_TRUE(WriteTextFile(source + L"Docs\\Nested\\new.txt", "new"));
    ASSERT_TRUE(DeleteFileW((source + L"Docs\\Nested\\Deeper\\f \u20ac.txt").c_str()));
    ASSERT_TRUE(RemoveDirectoryW((source + L"Empty").c_str()));
    const std::vector<std::wstring> changed = {L"", L"Docs\\Nested", L"Docs\\Nested\\Deeper", L"Only folders",
                                               L"Only folders\\Later"};
    for (size_t i = 0; i < changed.size(); ++i)
        ASSERT_TRUE(SetWriteTicks(source + changed[i], 131000000000000000LL + (long long)i * 864000000000LL));
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    EXPECT_TRUE(HasLine(env.LogLines(index), "\tDeleted From Backup: 1")) << env.LogText(index);
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"Empty"));
    for (const std::wstring &path : changed)
        EXPECT_EQ(GetWriteTicks(MirrorOf(source) + path), GetWriteTicks(source + path)) << Narrow(path);
    EXPECT_TRUE(GetFileAttributesW((MirrorOf(source) + L"Docs").c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(JobRunTest, NamesUsersReallyHaveAreMirroredAndAnUnchangedRerunDeletesNothing)
{
    // Names in our own suffixes, the longest names a folder takes, cp1252 punctuation, Cyrillic
    // and CJK, in the source folder and in a folder of their own.
    const std::vector<std::wstring> names = {
        L"x.vlrpart",
        L".vlrwork",
        std::wstring(246, L'n') + L".txt",
        std::wstring(255, L'L'),
        L"Report \u2013 final.txt",
        L"Bob\u2019s \u201cquoted\u201d \u20ac5.txt",
        L"\u041e\u0442\u0447\u0451\u0442.txt",
        L"\u5831\u544a\u66f8.txt",
        L"\u041f\u0430\u043f\u043a\u0430 \u2013 \u8cc7\u6599\\" + std::wstring(250, L'm'),
        L"\u041f\u0430\u043f\u043a\u0430 \u2013 \u8cc7\u6599\\x.vlrpart",
    };
    ASSERT_TRUE(MakeFolder(source + L"\u041f\u0430\u043f\u043a\u0430 \u2013 \u8cc7\u6599"));
    for (size_t i = 0; i < names.size(); ++i)
        ASSERT_TRUE(WriteTextFile(L"\\\\?\\" + source + names[i], "file " + std::to_string(i))) << i;
    // The copies carry these bits over, or the rerun would find the files changed.
    SetFileAttributesW((L"\\\\?\\" + source + names[3]).c_str(), FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW((source + names[4]).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
    int index = AddJob(Enabled | Uncompressed | SaveDeleted | SaveRevisions);
    gSettings.removeExcluded = 1;
    for (int run = 1; run <= 2; ++run) {
        ASSERT_EQ(env.RunJob(index), 1) << "run " << run << "\n" << env.LogText(index);
        std::vector<std::string> lines = env.LogLines(index);
        EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 0")) << env.LogText(index);
        if (run == 2) {
            EXPECT_TRUE(HasLine(lines, "\t\tNot Changed : 10 / 60 bytes")) << env.LogText(index);
        }
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(ReadTextFile(L"\\\\?\\" + MirrorOf(source) + names[i]), "file " + std::to_string(i))
                << "run " << run << ", name " << i;
    }
    // The job's own temporary copies are gone with the run: the backup folder holds the mirror's
    // top folder and the Deleted and Revisions folders, nothing more.
    std::vector<std::wstring> top;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((Widen(destination) + L"Job A\\*").c_str(), &entry);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    do {
        if (wcscmp(entry.cFileName, L".") != 0 && wcscmp(entry.cFileName, L"..") != 0)
            top.push_back(entry.cFileName);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<std::wstring>{L"C", L"Deleted", L"Revisions"}));
}

// Names a share or a Wine drive can hold and the system's path parsing would change: a
// trailing dot or space is dropped, aux.txt and con are taken for devices. Each is mirrored as
// itself, found unchanged on the rerun, and deleted alone: "trail." is not "trail".
TEST_F(JobRunTest, NamesAShortPathMisreadsAreMirroredFoundUnchangedAndDeletedAlone)
{
    const std::wstring names[] = {L"trail.", L"space ", L"aux.txt", L"con", L"dir.\\inner.txt", L"trail"};
    ASSERT_TRUE(MakeFolder(L"\\\\?\\" + source + L"dir."));
    for (size_t i = 0; i < 6; ++i)
        ASSERT_TRUE(WriteTextFile(L"\\\\?\\" + source + names[i], "file " + std::to_string(i))) << i;
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(ReadTextFile(L"\\\\?\\" + MirrorOf(source) + names[i]), "file " + std::to_string(i)) << i;
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    EXPECT_TRUE(HasLine(env.LogLines(index), "\t\tNot Changed : 6 / 36 bytes")) << env.LogText(index);

    ASSERT_TRUE(DeleteFileW((L"\\\\?\\" + source + L"trail.").c_str()));
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    EXPECT_TRUE(HasLine(env.LogLines(index), "\tDeleted From Backup: 1")) << env.LogText(index);
    EXPECT_FALSE(FileExists(L"\\\\?\\" + MirrorOf(source) + L"trail."));
    EXPECT_EQ(ReadTextFile(L"\\\\?\\" + DeletedOf(source) + L"trail."), "file 0");
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"trail"), "file 5");
}

// The mirror finds its copy of a source renamed to another letter case, as the file system
// would: Cyrillic and the euro sign compare ignoring case like ASCII.
TEST_F(JobRunTest, SourceRenamedToAnotherCaseIsFoundUnchangedAndNotDeleted)
{
    const std::wstring before = L"\u041e\u0442\u0447\u0451\u0442 \u20ac.txt";
    const std::wstring after = L"\u041e\u0422\u0427\u0401\u0422 \u20ac.TXT";
    WriteTextFile(source + before, "report");
    SetWriteTicks(source + before, 130000000000000000LL);
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    // Wine keeps the spelling on a rename that changes only the case: write the file anew.
    ASSERT_TRUE(DeleteFileW((source + before).c_str()));
    WriteTextFile(source + after, "report");
    SetWriteTicks(source + after, 130000000000000000LL);
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\t\tNot Changed : 1 / 6 bytes")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 0")) << env.LogText(index);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + before), "report");
}

// A shell that changes the source right after the job's size count, before the mirror walk.
struct ChangeAfterSizeCount : RecordingShell {
    std::function<void()> change;
    void RefreshJobCell(int index, JobCell cell) override
    {
        RecordingShell::RefreshJobCell(index, cell);
        if (cell == JobCell::Size && change)
            change();
    }
};

// The walk takes the size count's listing of a folder only while the folder is as the count
// found it: names added or removed after the count are mirrored and deleted in the same run.
TEST_F(JobRunTest, SourceChangedAfterTheSizeCountIsMirroredAsItIsThen)
{
    WriteTextFile(source + L"a.txt", "a");
    WriteTextFile(source + L"gone.txt", "g");
    MakeFolder(source + L"sub");
    WriteTextFile(source + L"sub\\b.txt", "b");
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    ChangeAfterSizeCount shell;
    shell.change = [&] {
        WriteTextFile(source + L"new.txt", "new");
        WriteTextFile(source + L"sub\\later.txt", "later");
        DeleteFileW((source + L"gone.txt").c_str());
    };
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"new.txt"), "new");
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"sub\\later.txt"), "later");
    EXPECT_FALSE(FileExists(MirrorOf(source) + L"gone.txt"));
    EXPECT_EQ(ReadTextFile(DeletedOf(source) + L"gone.txt"), "g");
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\tTotal : 4 / 10 bytes")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\t\tChanged     : 2 / 8 bytes")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 1")) << env.LogText(index);
}

// Names beyond what the ANSI code page holds: every file is mirrored, kept when deleted, and
// every log line that names one is written, with '?' where the code page lacks a character.
TEST_F(JobRunTest, NamesOutsideTheCodePageAreMirroredDeletedAndLoggedWhole)
{
    struct {
        const wchar_t *name;
        const char *logged;
    } names[] = {
        {L"Report \u2013 final.txt", "Report \x96 final.txt"},
        {L"Bob\u2019s \u201cnotes\u201d.txt", "Bob\x92s \x93notes\x94.txt"},
        {L"\u20ac receipts.txt", "\x80 receipts.txt"},
        {L"\u041e\u0442\u0447\u0451\u0442.txt", "?????.txt"},
        {L"\u5831\u544a\u66f8.txt", "???.txt"},
    };
    for (const auto &n : names)
        WriteTextFile(source + n.name, Narrow(n.name));
    // A file that cannot be read, in a second source: its WARNING line must be there too.
    std::wstring heldFolder = env.work.Wide() + L"held\\";
    MakeFolder(heldFolder);
    std::wstring locked = heldFolder + L"\u5831\u544a.txt";
    WriteTextFile(locked, "held");
    int index = env.AddConfig("Job A", destination, {Narrow(source), Narrow(heldFolder)},
                              Enabled | Uncompressed | SaveDeleted);
    gSettings.logVerbose = 1;
    HANDLE held = CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int result = env.RunJob(index);
    CloseHandle(held);
    EXPECT_EQ(result, 3);
    std::vector<std::string> lines = env.LogLines(index);
    std::string from = "\tFrom: " + Narrow(source);
    for (const auto &n : names) {
        EXPECT_EQ(ReadTextFile(MirrorOf(source) + n.name), Narrow(n.name));
        EXPECT_TRUE(HasLine(lines, from + n.logged)) << n.logged;
    }
    EXPECT_TRUE(HasLine(lines, "WARNING: Unable to backup file:"));
    EXPECT_TRUE(HasLine(lines, "\tFrom: " + Narrow(heldFolder) + "??.txt"));

    for (const auto &n : names)
        DeleteFileW((source + n.name).c_str());
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 5"));
    for (const auto &n : names) {
        EXPECT_FALSE(FileExists(MirrorOf(source) + n.name));
        EXPECT_EQ(ReadTextFile(DeletedOf(source) + n.name), Narrow(n.name));
        EXPECT_TRUE(HasLine(lines, "Removed deleted file from: " + Narrow(MirrorOf(source)) + n.logged)) << n.logged;
    }
}

// The previous runs are appended byte for byte: a Ctrl-Z in them is just another byte, and
// their line ends stay as they were.
TEST_F(JobRunTest, OlderLogIsKeptByteForByteBelowTheNewRun)
{
    WriteTextFile(source + L"a.txt", "a");
    int index = AddJob(Enabled | Uncompressed);
    const std::string older = "older run\r\nname with \x1a in it\r\nafter the byte\r\nlone line feed\nend";
    WriteTextFile(Widen(env.data.path + "1.txt"), older);
    EXPECT_EQ(env.RunJob(index), 1);
    std::string text = env.LogText(index);
    std::string newRun = std::string("Job Result: Success\r\n") + FinishedLine() + "\r\n" + kFinished + "\r\n\r\n";
    EXPECT_NE(text.find(newRun + older), std::string::npos) << text;
    EXPECT_EQ(text.substr(text.size() - older.size()), older);
}

TEST_F(JobRunTest, ReadOnlyMirrorOfAChangedFileIsReplaced)
{
    WriteTextFile(source + L"a.txt", "one");
    int index = AddJob(Enabled | Uncompressed);
    ASSERT_EQ(env.RunJob(index), 1);
    SetFileAttributesW((MirrorOf(source) + L"a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteTextFile(source + L"a.txt", "three");
    EXPECT_EQ(env.RunJob(index), 1);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "three");
}

// A revision is made by renaming the old mirror copy; where its name cannot be taken (here a
// folder stands under it) the old copy stays, the revision is a warning, and the new copy still
// replaces the mirror's. The source's deleted files still leave the mirror.
TEST_F(JobRunTest, RevisionNameThatCannotBeTakenIsAWarningAndTheMirrorIsStillReplaced)
{
    WriteTextFile(source + L"a.txt", "one");
    WriteTextFile(source + L"gone.txt", "gone");
    int index = AddJob(Enabled | Uncompressed | SaveRevisions);
    env.Config(index)->revisionCount = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    std::wstring revisions = RevisionsOf(source);
    ASSERT_TRUE(CreateDirectoryWithParents((revisions + L"a.1.txt").c_str(), nullptr));
    WriteTextFile(source + L"a.txt", "two");
    SetWriteTicks(source + L"a.txt", 130000000000000000LL);
    DeleteFileW((source + L"gone.txt").c_str());
    EXPECT_EQ(env.RunJob(index), 3);
    EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"a.txt"), "two");
    EXPECT_TRUE(IsDirectory((revisions + L"a.1.txt").c_str()));
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_EQ(CountLinesStartingWith(lines, "WARNING: Unable to save revision file:"), 1) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tRevised : 0"));
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 1"));
}

TEST_F(JobRunTest, VerboseLogHoldsTheOptionsSizesAndEveryCopy)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob(Enabled | Uncompressed);
    gSettings.logVerbose = 1;
    ASSERT_EQ(env.RunJob(index), 1);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "Global Options:"));
    EXPECT_TRUE(HasLine(lines, "\tVerbose Logging: 1"));
    EXPECT_TRUE(HasLine(lines, "\tDescription: Job A"));
    EXPECT_TRUE(HasLine(lines, "\tExcluding Files With Extensions: "));
    EXPECT_TRUE(HasLine(lines, "\tNo Excluded Files/Folders"));
    EXPECT_TRUE(HasLine(lines, "\tUncompressed Files/Folders: 1"));
    EXPECT_TRUE(HasLine(lines, "\t\tSave Revisions of Modified Files: 0"));
    EXPECT_TRUE(HasLine(lines, "\tCompressed ZIP File: 0"));
    EXPECT_TRUE(HasLine(lines, "Source: " + Narrow(source)));
    EXPECT_TRUE(HasLine(lines, "\tSize  : 5 bytes"));
    EXPECT_TRUE(HasLine(lines, "Total Files : 1"));
    EXPECT_TRUE(HasLine(lines, "Copied backup file:"));
    EXPECT_TRUE(HasLine(lines, "\tFrom: " + Narrow(source) + "a.txt"));
}

// A file that became a folder and a folder that became a file: what stands in the way leaves the
// mirror as a deleted item (kept when asked, never as a revision), the new kind is mirrored.
TEST_F(JobRunTest, ItemThatChangesKindLeavesTheMirrorAsADeletedOneInTheSameRun)
{
    for (uint32_t keep : {(uint32_t)SaveDeleted, (uint32_t)SaveRevisions}) {
        WriteTextFile(source + L"filetodir", "file");
        MakeFolder(source + L"dirtofile");
        WriteTextFile(source + L"dirtofile\\in.txt", "in");
        int index = AddJob(Enabled | Uncompressed | keep);
        ASSERT_EQ(env.RunJob(index), 1);
        DeleteFileW((source + L"filetodir").c_str());
        MakeFolder(source + L"filetodir");
        RemoveTreeW(source + L"dirtofile");
        WriteTextFile(source + L"dirtofile", "now a file");
        ExpectMirrorFollows(index);
        EXPECT_EQ(env.LogLines(index)[11], "\tDeleted From Backup: 2") << keep;
        EXPECT_EQ(ReadTextFile(DeletedOf(source) + L"dirtofile\\in.txt"), keep == SaveDeleted ? "in" : "");
        EXPECT_TRUE(TreeOf(RevisionsOf(source)).empty()) << keep;
        RemoveTreeW(source);
        RemoveTreeW(Widen(destination));
        MakeFolder(source);
    }
}

// Names that come back as the other kind: box is a folder, a file, a folder again and is deleted;
// a folder old is deleted, later a file old is made and deleted. The Deleted tree keeps the newer deleted item
// in place of the older one of the other kind, and every run mirrors the source as it is.
TEST_F(JobRunTest, NameThatComesBackAsTheOtherKindIsMirroredAndKeptAsDeletedEveryTime)
{
    const std::wstring box = source + L"box", old = source + L"old";
    auto folderWith = [](const std::wstring &folder, const std::wstring &name, const std::string &text) {
        MakeFolder(folder);
        WriteTextFile(folder + L"\\" + name, text);
    };
    auto gone = [](const std::wstring &item) { RemoveTreeW(item); DeleteFileW(item.c_str()); };
    const std::vector<std::pair<std::function<void()>, std::map<std::wstring, std::string>>> steps = {
        {[&] { folderWith(box, L"inner.txt", "inner 1"); folderWith(old, L"photo.jpg", "photo"); }, {}},
        {[&] { gone(box); WriteTextFile(box, "box file"); gone(old); },
         {{L"box\\", "<dir>"}, {L"box\\inner.txt", "inner 1"}, {L"old\\", "<dir>"}, {L"old\\photo.jpg", "photo"}}},
        {[&] { gone(box); folderWith(box, L"inner.txt", "inner 2"); WriteTextFile(old, "old file"); },
         {{L"box", "box file"}, {L"old\\", "<dir>"}, {L"old\\photo.jpg", "photo"}}},
        {[&] { WriteTextFile(box + L"\\inner.txt", "inner 3, edited"); gone(old); },
         {{L"box", "box file"}, {L"old", "old file"}}},
        {[&] { gone(box); }, {{L"box\\", "<dir>"}, {L"box\\inner.txt", "inner 3, edited"}, {L"old", "old file"}}},
    };
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    for (const auto &step : steps) {
        step.first();
        ExpectMirrorFollows(index);
        EXPECT_EQ(TreeOf(DeletedOf(source)), step.second) << env.LogText(index);
    }
}

// A file held open by another program (no sharing) cannot be copied: every run says so, and the
// mirror copy and each revision stay as they were. Once it is closed, it is copied and the oldest
// revision takes the mirror's old copy.
TEST_F(JobRunTest, FileHeldOpenByAnotherProgramKeepsTheMirrorAndEveryRevision)
{
    const std::wstring file = source + L"report.doc";
    int index = AddJob(Enabled | Uncompressed | SaveRevisions);
    env.Config(index)->revisionCount = 3;
    auto writeVersion = [&](int version) {
        WriteTextFile(file, "v" + std::to_string(version));
        SetWriteTicks(file, 130000000000000000LL + version * 864000000000LL);
    };
    for (int version = 1; version <= 5; ++version) {
        writeVersion(version);
        ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    }
    // v1 was the oldest: v4 took its number.
    std::map<std::wstring, std::string> rotated = {
        {L"report.1.doc", "v4"}, {L"report.2.doc", "v2"}, {L"report.3.doc", "v3"}};
    ASSERT_EQ(TreeOf(RevisionsOf(source)), rotated);
    writeVersion(6);
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    for (int run = 0; run < 3; ++run) {
        EXPECT_EQ(env.RunJob(index), 3);
        std::vector<std::string> lines = env.LogLines(index);
        EXPECT_TRUE(HasLine(lines, "WARNING: Unable to backup file:")) << env.LogText(index);
        EXPECT_TRUE(HasLine(lines, "\t\t\tCopy Failed         : 1 / 2 bytes"));
        EXPECT_EQ(ReadTextFile(MirrorOf(source) + L"report.doc"), "v5");
        EXPECT_EQ(TreeOf(RevisionsOf(source)), rotated);
    }
    CloseHandle(held);
    ExpectMirrorFollows(index);
    rotated[L"report.2.doc"] = "v5";
    EXPECT_EQ(TreeOf(RevisionsOf(source)), rotated);
}

// A folder under a revision number (an earlier run put a replaced mirror folder there) is no
// revision: the other number takes each older version, and the folder stays as it is.
TEST_F(JobRunTest, FolderInARevisionSlotLeavesTheOtherNumbersRotating)
{
    int index = AddJob(Enabled | Uncompressed | SaveRevisions);
    env.Config(index)->revisionCount = 2;
    std::wstring slot = RevisionsOf(source) + L"report.1.doc";
    ASSERT_TRUE(CreateDirectoryWithParents(slot.c_str(), nullptr));
    WriteTextFile(slot + L"\\old.txt", "old");
    SetWriteTicks(slot, 120000000000000000LL);
    for (int run = 0; run < 4; ++run) {
        WriteTextFile(source + L"report.doc", std::to_string(run));
        SetWriteTicks(source + L"report.doc", 130000000000000000LL + run * 864000000000LL);
        ExpectMirrorFollows(index);
        EXPECT_EQ(ReadTextFile(RevisionsOf(source) + L"report.2.doc"), run > 0 ? std::to_string(run - 1) : "");
    }
    EXPECT_EQ(ReadTextFile(slot + L"\\old.txt"), "old");
}

// A file edited in place after the size count (which moves no folder's time) is copied.
TEST_F(JobRunTest, FileEditedInPlaceAfterTheSizeCountIsCopiedInThatRun)
{
    const std::pair<std::wstring, std::string> edits[] = {{L"same.txt", "SAME"}, {L"sub\\grown.txt", "grown, longer"}};
    MakeFolder(source + L"sub");
    for (const auto &edit : edits)
        WriteTextFile(source + edit.first, "orig");
    int index = AddJob(Enabled | Uncompressed);
    ASSERT_EQ(env.RunJob(index), 1);
    ChangeAfterSizeCount shell;
    shell.change = [&] {
        for (const auto &edit : edits)
            WriteTextFile(source + edit.first, edit.second);
    };
    ExpectMirrorFollows(index);
}

// What a run ended by force left in our work folder goes with the next run, copying or not:
// a half copy (0 where there is none, read-only) and whether that run copies.
TEST_F(JobRunTest, WorkFolderLeftByARunEndedByForceGoesWithTheNextRun)
{
    const std::pair<DWORD, bool> cases[] = {
        {FILE_ATTRIBUTE_NORMAL, false}, {0, false}, {FILE_ATTRIBUTE_READONLY, false}, {FILE_ATTRIBUTE_NORMAL, true}};
    WriteTextFile(source + L"a.txt", "a");
    SetWriteTicks(source + L"a.txt", 130000000000000000LL);
    int index = AddJob(Enabled | Uncompressed);
    ASSERT_EQ(env.RunJob(index), 1);
    std::wstring work = Widen(destination) + L"Job A\\.vlrwork";
    for (const auto &c : cases) {
        ASSERT_TRUE(MakeFolder(work));
        if (c.first != 0 && WriteTextFile(work + L"\\copy.tmp", std::string(300000, 'x')))
            SetFileAttributesW((work + L"\\copy.tmp").c_str(), c.first);
        WriteTextFile(source + L"a.txt", c.second ? "changed" : "a");
        SetWriteTicks(source + L"a.txt", 130000000000000000LL + c.second);
        ExpectMirrorFollows(index);
        EXPECT_EQ(env.LogLines(index)[6], c.second ? "\t\tChanged     : 1 / 7 bytes" : "\t\tChanged     : 0 / 0 bytes")
            << env.LogText(index);
        EXPECT_FALSE(FileExists(work)) << c.first << c.second;
    }
}

// Names renamed by case alone are renamed in the mirror: nothing is copied again or deleted.
TEST_F(JobRunTest, CaseOnlyRenamesReachTheMirrorAsRenames)
{
    const std::pair<std::wstring, std::wstring> renames[] = {
        {L"Report.txt", L"report.TXT"}, {L"Photos", L"photos"}, {L"photos\\Beach.JPG", L"photos\\beach.jpg"}};
    MakeFolder(source + L"Photos");
    WriteTextFile(source + L"Report.txt", "same");
    WriteTextFile(source + L"Photos\\Beach.JPG", "same");
    int index = AddJob(Enabled | Uncompressed | SaveDeleted);
    ASSERT_EQ(env.RunJob(index), 1);
    for (const auto &rename : renames)
        ASSERT_TRUE(RenameByCase(source + rename.first, source + rename.second)) << Narrow(rename.second);
    ExpectMirrorFollows(index);
    EXPECT_EQ(env.LogLines(index)[5], "\t\tNot Changed : 2 / 8 bytes") << env.LogText(index);
    EXPECT_EQ(env.LogLines(index)[11], "\tDeleted From Backup: 0");
}

// Three runs over one tree with the names users have. Before the second it gains a folder where
// a file was and a file where a folder was, loses a file and a folder, is renamed by case and
// has a file rewritten; during it a file is rewritten after the size count. Each run mirrors it
// byte for byte, every old content is kept, and the third run copies and deletes nothing.
TEST_F(JobRunTest, TreeChangingBetweenAndDuringRunsIsMirroredWithEveryOldContentKept)
{
    const std::wstring resume = L"R\u00e9sum\u00e9 \u2013 draft\u2019s.txt", cjk = L"\u5831\u544a\u66f8";
    const std::wstring folder = L"\u041f\u0430\u043f\u043a\u0430\\", longName = folder + std::wstring(246, L'n') + L".txt";
    const std::pair<std::wstring, std::string> items[] = {{folder, ""}, {L"Photos\\", ""}, {L"Becomes a file\\", ""},
        {resume, "resume 1"}, {cjk, "cjk file"}, {longName, "long"}, {L"Becomes a file\\in \u2013 it.txt", "in it"},
        {L"edited.txt", "before count"}};
    for (const auto &item : items)
        ASSERT_TRUE(item.first.back() == L'\\' ? MakeFolder(source + item.first)
                                                : WriteTextFile(L"\\\\?\\" + source + item.first, item.second));
    int index = AddJob(Enabled | Uncompressed | SaveDeleted | SaveRevisions);
    ExpectMirrorFollows(index);

    DeleteFileW((source + cjk).c_str());
    MakeFolder(source + cjk);
    RemoveTreeW(source + L"Becomes a file");
    WriteTextFile(source + L"Becomes a file", "now a file");
    RemoveTreeW(L"\\\\?\\" + source + folder);
    ASSERT_TRUE(RenameByCase(source + L"Photos", source + L"photos"));
    WriteTextFile(source + resume, "resume 2, longer");
    ChangeAfterSizeCount shell;
    shell.change = [&] { WriteTextFile(source + L"edited.txt", "after count!"); };
    ExpectMirrorFollows(index);
    EXPECT_EQ(env.LogLines(index)[11], "\tDeleted From Backup: 3") << env.LogText(index);
    shell.change = nullptr;
    ExpectMirrorFollows(index);
    EXPECT_EQ(env.LogLines(index)[7], "\t\t\tCopied Successfully : 0 / 0 bytes") << env.LogText(index);
    EXPECT_EQ(env.LogLines(index)[11], "\tDeleted From Backup: 0");
    const std::map<std::wstring, std::string> kept = {{cjk, "cjk file"}, {L"Becomes a file\\", "<dir>"},
        {L"Becomes a file\\in \u2013 it.txt", "in it"}, {folder, "<dir>"}, {longName, "long"}};
    EXPECT_EQ(TreeOf(DeletedOf(source)), kept);
    const std::map<std::wstring, std::string> revised = {
        {L"R\u00e9sum\u00e9 \u2013 draft\u2019s.1.txt", "resume 1"}, {L"edited.1.txt", "before count"}};
    EXPECT_EQ(TreeOf(RevisionsOf(source)), revised);
}

} // namespace
