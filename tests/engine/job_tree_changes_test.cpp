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

} // namespace
