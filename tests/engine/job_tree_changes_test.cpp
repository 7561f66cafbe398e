// Whole jobs over a user's tree that changes between runs and during one: a file that becomes
// a folder and back, a file edited after the size count, case-only renames, and what a killed
// run left in its work folder. After each run the mirror must equal the source.
#include <gtest/gtest.h>

#include <functional>
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "BackupConfig.h"
#include "FolderHelpers.h"
#include "GlobalSettings.h"
#include "JobTestSupport.h"
#include "MirrorPath.h"

namespace {

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

std::wstring Prefixed(const std::wstring &path)
{
    return L"\\\\?\\" + path;
}

// Every item under folder (ending in "\\") by its exact spelling: a folder as "<folder>", a file
// as its contents.
void ListTree(const std::wstring &folder, const std::wstring &relative, std::map<std::wstring, std::string> *items)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(Prefixed(folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*items)[relative + name + L"\\"] = "<folder>";
            ListTree(folder + name + L"\\", relative + name + L"\\", items);
        } else {
            (*items)[relative + name] = ReadTextFile(Prefixed(folder + name));
        }
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

std::map<std::wstring, std::string> TreeOf(const std::wstring &folder)
{
    std::map<std::wstring, std::string> items;
    ListTree(folder, L"", &items);
    return items;
}

std::string Describe(const std::map<std::wstring, std::string> &items)
{
    std::string text;
    for (const auto &item : items)
        text += Narrow(item.first) + " = " + item.second + "\n";
    return text;
}

// Renames by case as Windows does, in two steps: under Wine a rename to the same name in
// another case changes nothing.
bool RenameByCase(const std::wstring &from, const std::wstring &to)
{
    std::wstring between = from + L".renaming";
    return MoveFileW(Prefixed(from).c_str(), Prefixed(between).c_str()) &&
           MoveFileW(Prefixed(between).c_str(), Prefixed(to).c_str());
}

bool WriteFileAt(const std::wstring &path, const std::string &content)
{
    return WriteTextFile(Prefixed(path), content);
}

// Rewrites a file where it stands, so that its folder keeps its time, with a new last-write time.
bool RewriteInPlace(const std::wstring &path, const std::string &content, long long ticks)
{
    HANDLE file = CreateFileW(Prefixed(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, content.data(), (DWORD)content.size(), &written, nullptr) && SetEndOfFile(file);
    FILETIME time = {(DWORD)(unsigned long long)ticks, (DWORD)((unsigned long long)ticks >> 32)};
    ok = ok && SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    return ok && written == content.size();
}

class TreeChangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        source = env.work.Wide() + L"src\\";
        destination = env.work.path + "dest\\";
        MakeFolder(source);
        MakeFolder(Widen(destination));
    }
    int AddJob(uint32_t flags) { return env.AddConfig("Job A", destination, {Narrow(source)}, flags); }
    std::wstring Under(const std::string &root)
    {
        wchar_t out[kWidePathChars];
        std::string full = destination + "Job A\\" + root;
        if (!BuildMirrorPath(full.c_str(), source.c_str(), nullptr, 0, out, kWidePathChars, 0))
            return L"";
        return out;
    }
    std::wstring Mirror() { return Under(""); }
    std::wstring Deleted() { return Under("Deleted\\"); }
    std::wstring Revisions() { return Under("Revisions\\"); }
    // The run ended Success with no ERROR or WARNING line, and the mirror equals the source.
    void ExpectMirrorFollows(int index, int result, const std::string &label)
    {
        std::vector<std::string> lines = env.LogLines(index);
        EXPECT_EQ(result, 1) << label << "\n" << env.LogText(index);
        for (const std::string &line : lines) {
            if (line.find("Backup Job Finished") != std::string::npos)
                break;
            EXPECT_NE(line.compare(0, 5, "ERROR"), 0) << label << ": " << line;
            EXPECT_NE(line.compare(0, 7, "WARNING"), 0) << label << ": " << line;
        }
        std::map<std::wstring, std::string> expected = TreeOf(source);
        std::map<std::wstring, std::string> mirrored = TreeOf(Mirror());
        EXPECT_EQ(mirrored, expected) << label << "\nsource:\n"
                                      << Describe(expected) << "mirror:\n"
                                      << Describe(mirrored);
    }

    JobTestEnvironment env;
    std::wstring source;
    std::string destination;
};

// A file that becomes a folder of the same name, and a folder that becomes a file: the item in
// the way leaves the mirror as a deleted one (kept in the Deleted tree when asked), the new kind
// is mirrored in the same run, and the deleted-items pass still runs for the source.
TEST_F(TreeChangeTest, ItemThatChangesKindIsReplacedInTheMirrorAsADeletedOne)
{
    const struct {
        const char *label;
        uint32_t flags;
        int revisionCount;
    } cases[] = {
        {"keeping deleted files", SaveDeleted, 0},
        {"keeping neither", 0, 0},
        {"keeping revisions", SaveRevisions, 3},
        {"keeping both", SaveDeleted | SaveRevisions, 1},
    };
    for (const auto &c : cases) {
        RemoveTreeW(source);
        RemoveTreeW(Widen(destination));
        MakeFolder(source);
        MakeFolder(Widen(destination));
        WriteTextFile(source + L"filetodir", "old file");
        MakeFolder(source + L"dirtofile");
        WriteTextFile(source + L"dirtofile\\inner.txt", "old inner");
        MakeFolder(source + L"dirtofile\\deeper");
        WriteTextFile(source + L"dirtofile\\deeper\\deep.txt", "old deep");
        WriteTextFile(source + L"gone.txt", "gone");
        int index = AddJob(Enabled | Uncompressed | c.flags);
        env.Config(index)->revisionCount = c.revisionCount;
        ASSERT_EQ(env.RunJob(index), 1) << c.label << "\n" << env.LogText(index);

        ASSERT_TRUE(DeleteFileW((source + L"filetodir").c_str()));
        ASSERT_TRUE(MakeFolder(source + L"filetodir"));
        WriteTextFile(source + L"filetodir\\new.txt", "new in folder");
        RemoveTreeW(source + L"dirtofile");
        WriteTextFile(source + L"dirtofile", "now a file");
        ASSERT_TRUE(DeleteFileW((source + L"gone.txt").c_str()));
        for (int run = 2; run <= 3; ++run) {
            std::string label = std::string(c.label) + ", run " + std::to_string(run);
            ExpectMirrorFollows(index, env.RunJob(index), label);
            EXPECT_TRUE(HasLine(env.LogLines(index), run == 2 ? "\tDeleted From Backup: 4" : "\tDeleted From Backup: 0"))
                << label << "\n" << env.LogText(index);
        }
        std::map<std::wstring, std::string> kept = TreeOf(Deleted());
        if (c.flags & SaveDeleted) {
            std::map<std::wstring, std::string> expected = {
                {L"filetodir", "old file"},
                {L"dirtofile\\", "<folder>"},
                {L"dirtofile\\inner.txt", "old inner"},
                {L"dirtofile\\deeper\\", "<folder>"},
                {L"dirtofile\\deeper\\deep.txt", "old deep"},
                {L"gone.txt", "gone"},
            };
            EXPECT_EQ(kept, expected) << c.label << "\n" << Describe(kept);
        } else {
            EXPECT_TRUE(kept.empty()) << c.label << "\n" << Describe(kept);
        }
        // A revision is only ever a file: no folder went into the revisions.
        std::map<std::wstring, std::string> revised = TreeOf(Revisions());
        EXPECT_TRUE(revised.empty()) << c.label << "\n" << Describe(revised);
        env.Config(index)->flags = 0; // the next case adds a configuration of its own
    }
}

// A folder in a revision slot (an earlier run of ours put the old mirror folder there) is no
// revision: the numbers beside it go on rotating, each older version is kept, and the folder
// and its files stay where they are.
TEST_F(TreeChangeTest, FolderInARevisionSlotDoesNotBlockTheRotation)
{
    const struct {
        int revisionCount;
        int folderSlot;
    } cases[] = {{2, 1}, {3, 2}, {3, 3}};
    const long long day = 864000000000LL;
    const long long base = 130000000000000000LL;
    for (const auto &c : cases) {
        std::string label = "count " + std::to_string(c.revisionCount) + ", folder in " + std::to_string(c.folderSlot);
        RemoveTreeW(source);
        RemoveTreeW(Widen(destination));
        MakeFolder(source);
        std::wstring file = source + L"report.doc";
        WriteTextFile(file, "version 0");
        SetWriteTicks(file, base);
        int index = AddJob(Enabled | Uncompressed | SaveRevisions);
        env.Config(index)->revisionCount = c.revisionCount;
        ASSERT_EQ(env.RunJob(index), 1) << label;
        std::wstring slot = Revisions() + L"report." + std::to_wstring(c.folderSlot) + L".doc";
        ASSERT_TRUE(CreateDirectoryWithParents(slot.c_str(), nullptr)) << label;
        WriteTextFile(slot + L"\\old.txt", "old folder file");
        // The oldest of all, as a folder left by a run long ago is.
        SetWriteTicks(slot, base - day);
        std::vector<std::string> versions = {"version 0"};
        for (int run = 1; run <= 2 * c.revisionCount + 1; ++run) {
            versions.push_back("version " + std::to_string(run));
            WriteTextFile(file, versions.back());
            SetWriteTicks(file, base + run * day);
            ExpectMirrorFollows(index, env.RunJob(index), label + ", run " + std::to_string(run));
            EXPECT_TRUE(HasLine(env.LogLines(index), "\tRevised : 1")) << label << ", run " << run;
            // The file slots hold the newest older versions, the one just replaced among them.
            std::multiset<std::string> held;
            for (const auto &item : TreeOf(Revisions()))
                if (item.second != "<folder>" && item.first.find(L'\\') == std::wstring::npos)
                    held.insert(item.second);
            std::multiset<std::string> expected;
            for (int older = std::max(0, run - (c.revisionCount - 1)); older < run; ++older)
                expected.insert(versions[(size_t)older]);
            EXPECT_EQ(held, expected) << label << ", run " << run;
            std::map<std::wstring, std::string> revised = TreeOf(Revisions());
            EXPECT_EQ(revised[L"report." + std::to_wstring(c.folderSlot) + L".doc\\old.txt"], "old folder file");
        }
        env.Config(index)->flags = 0;
    }
}

// The walk decides from what a file is when the walk comes to it: a file edited in place after
// the size count (its folder's time unchanged) is copied in that run.
TEST_F(TreeChangeTest, FileEditedAfterTheSizeCountIsCopiedInThatRun)
{
    const struct {
        const char *label;
        const wchar_t *path;
        const char *content;
    } cases[] = {
        {"same size", L"a.txt", "AAAA"},
        {"grown", L"b.txt", "bbbb and more"},
        {"in a subfolder", L"sub\\c.txt", "CCCC"},
        {"emptied", L"sub\\deeper\\d.txt", ""},
    };
    MakeFolder(source + L"sub");
    MakeFolder(source + L"sub\\deeper");
    const long long base = 130000000000000000LL;
    for (const auto &c : cases) {
        WriteTextFile(source + c.path, "orig");
        SetWriteTicks(source + c.path, base);
    }
    int index = AddJob(Enabled | Uncompressed | SaveRevisions);
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    ChangeAfterSizeCount shell;
    long long ticks = base + 864000000000LL;
    shell.change = [&] {
        for (const auto &c : cases)
            ASSERT_TRUE(RewriteInPlace(source + c.path, c.content, ticks)) << c.label;
    };
    ExpectMirrorFollows(index, env.RunJob(index), "after the count");
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\t\t\tCopied Successfully : 4 / 21 bytes")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tRevised : 4")) << env.LogText(index);
    for (const auto &c : cases)
        EXPECT_EQ(ReadTextFile(Revisions() + std::wstring(c.path).replace(std::wstring(c.path).size() - 4, 4, L".1.txt")),
                  "orig")
            << c.label;
}

// What a run stopped by force left in our work folder goes with the next run of that
// destination, whether or not that run copies anything.
TEST_F(TreeChangeTest, WorkFolderLeftByAKilledRunIsRemovedByTheNextRun)
{
    const struct {
        const char *label;
        bool withCopy;
        DWORD copyAttributes;
        bool sourceChanges;
    } cases[] = {
        {"a half copy, nothing to copy", true, FILE_ATTRIBUTE_NORMAL, false},
        {"an empty work folder, nothing to copy", false, 0, false},
        {"a read-only half copy, nothing to copy", true, FILE_ATTRIBUTE_READONLY, false},
        {"a half copy, a file to copy", true, FILE_ATTRIBUTE_NORMAL, true},
    };
    WriteTextFile(source + L"a.txt", "a");
    int index = AddJob(Enabled | Uncompressed);
    ASSERT_EQ(env.RunJob(index), 1);
    std::wstring work = Widen(destination) + L"Job A\\.vlrwork";
    for (const auto &c : cases) {
        ASSERT_TRUE(MakeFolder(work)) << c.label;
        if (c.withCopy) {
            ASSERT_TRUE(WriteTextFile(work + L"\\copy.tmp", std::string(300000, 'x'))) << c.label;
            SetFileAttributesW((work + L"\\copy.tmp").c_str(), c.copyAttributes);
        }
        if (c.sourceChanges)
            WriteTextFile(source + L"a.txt", "changed");
        ExpectMirrorFollows(index, env.RunJob(index), c.label);
        EXPECT_FALSE(FileExists(work)) << c.label;
    }
}

// A source renamed only by case gives its mirror item the new spelling, by a rename: the
// unchanged files are not copied again and nothing counts as deleted.
TEST_F(TreeChangeTest, CaseOnlyRenamesReachTheMirrorByRenaming)
{
    const struct {
        const wchar_t *before;
        const wchar_t *after;
    } renames[] = {
        {L"Report.txt", L"report.TXT"},
        {L"Photos", L"photos"},
        {L"photos\\Holiday.JPG", L"photos\\holiday.jpg"},
        {L"\u041e\u0442\u0447\u0451\u0442.txt", L"\u041e\u0422\u0427\u0401\u0422.txt"},
        {L"Caf\u00e9 \u2013 Notes", L"CAF\u00c9 \u2013 notes"},
    };
    WriteTextFile(source + L"Report.txt", "report");
    MakeFolder(source + L"Photos");
    WriteTextFile(source + L"Photos\\Holiday.JPG", "holiday");
    WriteTextFile(source + L"Photos\\beach.png", "beach");
    WriteTextFile(source + L"\u041e\u0442\u0447\u0451\u0442.txt", "otchet");
    MakeFolder(source + L"Caf\u00e9 \u2013 Notes");
    WriteTextFile(source + L"Caf\u00e9 \u2013 Notes\\menu.txt", "menu");
    int index = AddJob(Enabled | Uncompressed | SaveDeleted | SaveRevisions);
    gSettings.removeExcluded = 1;
    ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
    for (const auto &r : renames)
        ASSERT_TRUE(RenameByCase(source + r.before, source + r.after)) << Narrow(r.after);
    ExpectMirrorFollows(index, env.RunJob(index), "renamed");
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\t\tNot Changed : 5 / 28 bytes")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 0")) << env.LogText(index);
    EXPECT_TRUE(TreeOf(Deleted()).empty());
    EXPECT_TRUE(TreeOf(Revisions()).empty());
    ExpectMirrorFollows(index, env.RunJob(index), "rerun");
}

// Three runs over one tree with the names users have: between the runs it gains a folder where
// a file was and a file where a folder was, loses files and folders and has names renamed by
// case, and during the second run a file is rewritten after the size count. After each run the
// mirror equals the source byte for byte, every old content is kept, and the third run, with
// nothing changed, copies and deletes nothing.
TEST_F(TreeChangeTest, TreeChangingBetweenAndDuringRunsIsMirroredAndEveryOldContentKept)
{
    const std::wstring resume = L"R\u00e9sum\u00e9 \u2013 draft\u2019s.txt";
    const std::wstring report = L"\u041e\u0442\u0447\u0451\u0442.txt";
    const std::wstring cjk = L"\u5831\u544a\u66f8";
    const std::wstring longName = std::wstring(246, L'n') + L".txt";
    const std::wstring folder = L"\u041f\u0430\u043f\u043a\u0430 \u2013 \u8cc7\u6599";
    struct Item {
        std::wstring path; // a folder ends in "\\"
        std::string content;
    };
    const std::vector<Item> first = {
        {resume, "resume v1"},
        {report, "report v1"},
        {cjk, "cjk becomes a folder"},
        {folder + L"\\", ""},
        {folder + L"\\" + longName, "long name"},
        {folder + L"\\Bob\u2019s \u201cnotes\u201d.txt", "bob"},
        {L"Old Stuff\\", ""},
        {L"Old Stuff\\\u20ac receipts.txt", "receipts"},
        {L"Photos\\", ""},
        {L"Photos\\Holiday.JPG", "holiday"},
        {L"Becomes a file\\", ""},
        {L"Becomes a file\\inside \u2013 it.txt", "inside"},
        {L"edited later.txt", "before the count"},
    };
    for (const Item &item : first) {
        if (item.path.back() == L'\\')
            ASSERT_TRUE(CreateDirectoryW(Prefixed(source + item.path).c_str(), nullptr)) << Narrow(item.path);
        else
            ASSERT_TRUE(WriteFileAt(source + item.path, item.content)) << Narrow(item.path);
    }
    const long long base = 130000000000000000LL;
    SetWriteTicks(source + L"edited later.txt", base);
    int index = AddJob(Enabled | Uncompressed | SaveDeleted | SaveRevisions);
    gSettings.removeExcluded = 1;
    ExpectMirrorFollows(index, env.RunJob(index), "run 1");

    // Between the runs.
    ASSERT_TRUE(DeleteFileW((source + cjk).c_str()));
    ASSERT_TRUE(MakeFolder(source + cjk));
    ASSERT_TRUE(WriteTextFile(source + cjk + L"\\\u5185\u5bb9.txt", "now a folder"));
    RemoveTreeW(source + L"Becomes a file");
    ASSERT_TRUE(WriteTextFile(source + L"Becomes a file", "now a file"));
    RemoveTreeW(source + L"Old Stuff");
    ASSERT_TRUE(DeleteFileW(Prefixed(source + folder + L"\\" + longName).c_str()));
    ASSERT_TRUE(RenameByCase(source + L"Photos", source + L"photos"));
    ASSERT_TRUE(RenameByCase(source + report, source + L"\u041e\u0422\u0427\u0401\u0422.TXT"));
    ASSERT_TRUE(WriteTextFile(source + resume, "resume v2, longer"));
    // During the second run, once it has counted the tree.
    ChangeAfterSizeCount shell;
    shell.change = [&] {
        ASSERT_TRUE(RewriteInPlace(source + L"edited later.txt", "after  the count", base + 864000000000LL));
    };
    ExpectMirrorFollows(index, env.RunJob(index), "run 2");
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 4")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tRevised : 2")) << env.LogText(index);

    // Every old content is in the Deleted tree or among the revisions.
    std::map<std::wstring, std::string> kept = TreeOf(Deleted());
    std::map<std::wstring, std::string> expectedKept = {
        {cjk, "cjk becomes a folder"},
        {L"Becomes a file\\", "<folder>"},
        {L"Becomes a file\\inside \u2013 it.txt", "inside"},
        {L"Old Stuff\\", "<folder>"},
        {L"Old Stuff\\\u20ac receipts.txt", "receipts"},
        {folder + L"\\", "<folder>"},
        {folder + L"\\" + longName, "long name"},
    };
    EXPECT_EQ(kept, expectedKept) << Describe(kept);
    std::map<std::wstring, std::string> revised = TreeOf(Revisions());
    std::map<std::wstring, std::string> expectedRevised = {
        {L"R\u00e9sum\u00e9 \u2013 draft\u2019s.1.txt", "resume v1"},
        {L"edited later.1.txt", "before the count"},
    };
    EXPECT_EQ(revised, expectedRevised) << Describe(revised);

    shell.change = nullptr;
    ExpectMirrorFollows(index, env.RunJob(index), "run 3");
    lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\t\t\tCopied Successfully : 0 / 0 bytes")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tDeleted From Backup: 0")) << env.LogText(index);
    EXPECT_EQ(TreeOf(Deleted()), kept);
    EXPECT_EQ(TreeOf(Revisions()), revised);
}

} // namespace
