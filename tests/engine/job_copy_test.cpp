// Whole jobs whose copies meet a destination that fills up (drive T:, a small tmpfs) or a Stop
// in the middle of a long copy (drive S:, a slow drive): every copy the job makes, of a source
// into the mirror, of the mirror into its revisions or into the Deleted tree, is whole under
// its final name or not there at all, and whatever was there before stays as it was.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BackupConfig.h"
#include "ConfigRuntime.h"
#include "JobTestSupport.h"
#include "MirrorPath.h"
#include "WaitUntil.h"

namespace {

// Writes a file of `size` bytes whose contents depend on `seed`.
bool WriteFilledFile(const std::wstring &path, size_t size, char seed)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = (char)(seed + (char)(i % 251));
    bool ok = true;
    for (size_t done = 0; ok && done < size;) {
        DWORD chunk = (DWORD)std::min(block.size(), size - done);
        DWORD written = 0;
        ok = WriteFile(file, block.data(), chunk, &written, nullptr) && written == chunk;
        done += chunk;
    }
    CloseHandle(file);
    return ok;
}

unsigned long long FreeBytes(const std::wstring &drive)
{
    ULARGE_INTEGER free = {};
    GetDiskFreeSpaceExW(drive.c_str(), &free, nullptr, nullptr);
    return free.QuadPart;
}

// Every file under folder (ending in "\\") by its path below it, with its size.
void ListFiles(const std::wstring &folder, const std::wstring &below, std::map<std::wstring, long long> *files)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + below + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListFiles(folder, below + name + L"\\", files);
        else
            (*files)[below + name] = ((long long)entry.nFileSizeHigh << 32) | entry.nFileSizeLow;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

std::string Describe(const std::map<std::wstring, long long> &files)
{
    std::string text;
    for (const auto &file : files)
        text += Narrow(file.first) + " (" + std::to_string(file.second) + " bytes)\n";
    return text.empty() ? "no files\n" : text;
}

class CopyJobTest : public ::testing::Test {
protected:
    // A fresh folder for the job's destination on the drive, removed at the end.
    void UseDrive(const std::wstring &drive)
    {
        ASSERT_NE(GetDriveTypeW(drive.c_str()), (UINT)DRIVE_NO_ROOT_DIR)
            << Narrow(drive) << " is missing: this program runs through CTest, whose fixture mounts it";
        destination = drive + L"job" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        RemoveTreeW(destination);
        ASSERT_TRUE(MakeFolder(destination));
        source = env.work.Wide() + L"src\\";
        ASSERT_TRUE(MakeFolder(source));
    }
    void TearDown() override
    {
        if (!destination.empty())
            RemoveTreeW(destination);
    }
    int AddJob(uint32_t flags)
    {
        return env.AddConfig("Job A", Narrow(destination), {Narrow(source)}, flags);
    }
    std::wstring Below(const std::wstring &root, const std::wstring &folder)
    {
        wchar_t out[kWidePathChars];
        std::string base = Narrow(root);
        if (!BuildMirrorPath(base.c_str(), folder.c_str(), nullptr, 0, out, kWidePathChars, 0))
            return L"";
        return std::wstring(out).substr(destination.size());
    }
    // Paths below the destination folder, as ListFiles gives them.
    std::wstring Mirror(const std::wstring &name) { return Below(destination + L"Job A\\", source) + name; }
    std::wstring Revision(const std::wstring &name)
    {
        return Below(destination + L"Job A\\Revisions\\", source) + name;
    }
    std::wstring Deleted(const std::wstring &name) { return Below(destination + L"Job A\\Deleted\\", source) + name; }
    std::map<std::wstring, long long> Files()
    {
        std::map<std::wstring, long long> files;
        ListFiles(destination, L"", &files);
        return files;
    }

    JobTestEnvironment env;
    std::wstring source;
    std::wstring destination;
};

// One road of a copy onto a full destination: the runs before it succeed, the last one's copy
// does not fit (or, where lastResult says so, fits only because a revision needs no room).
struct FullCase {
    const char *road; // also the test's name
    uint32_t flags;
    int revisionCount;
    // File sizes of the runs, as fractions of the drive's free space; 0 deletes the source.
    std::vector<double> runs;
    // What the destination holds after the last run: each file as the run that wrote it.
    std::vector<std::pair<const wchar_t *, int>> mirror, revisions, deleted;
    const char *warning; // the last run's one warning; NULL: it has none
    int lastResult = 3;
};

class FullDestinationTest : public CopyJobTest, public ::testing::WithParamInterface<FullCase> {
};

TEST_P(FullDestinationTest, CopyThatDoesNotFitLeavesNoPartFileAndEveryEarlierCopyWhole)
{
    const FullCase &c = GetParam();
    UseDrive(L"T:\\");
    int index = AddJob(Enabled | Uncompressed | c.flags);
    env.Config(index)->revisionCount = c.revisionCount;
    double free = (double)FreeBytes(L"T:\\");
    std::wstring file = source + L"f.bin";
    std::vector<std::string> contents;
    for (size_t run = 0; run < c.runs.size(); ++run) {
        if (c.runs[run] == 0) {
            ASSERT_TRUE(DeleteFileW(file.c_str()));
            contents.push_back("");
        } else {
            ASSERT_TRUE(WriteFilledFile(file, (size_t)(free * c.runs[run]), (char)('a' + run)));
            SetWriteTicks(file, 130000000000000000LL + (long long)run * 864000000000LL);
            contents.push_back(ReadTextFile(file));
        }
        int result = run + 1 < c.runs.size() ? 1 : c.lastResult;
        ASSERT_EQ(env.RunJob(index), result) << c.road << ", run " << run + 1 << "\n" << env.LogText(index);
    }
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_EQ(CountLinesStartingWith(lines, c.warning != nullptr ? c.warning : "WARNING"), c.warning != nullptr ? 1 : 0)
        << env.LogText(index);
    std::map<std::wstring, long long> expected;
    std::vector<std::pair<std::wstring, int>> wanted;
    for (const auto &f : c.mirror)
        wanted.push_back({Mirror(f.first), f.second});
    for (const auto &f : c.revisions)
        wanted.push_back({Revision(f.first), f.second});
    for (const auto &f : c.deleted)
        wanted.push_back({Deleted(f.first), f.second});
    for (const auto &f : wanted)
        expected[f.first] = (long long)contents[(size_t)f.second].size();
    std::map<std::wstring, long long> found = Files();
    ASSERT_EQ(found, expected) << c.road << ": found\n" << Describe(found) << "expected\n" << Describe(expected);
    for (const auto &f : wanted)
        EXPECT_TRUE(ReadTextFile(destination + f.first) == contents[(size_t)f.second])
            << Narrow(f.first) << " is not the copy of run " << f.second + 1;
}

INSTANTIATE_TEST_SUITE_P(
    Roads, FullDestinationTest,
    ::testing::Values(
        FullCase{"mirror", 0, 0, {0.6, 0.6}, {{L"f.bin", 0}}, {}, {}, "WARNING: Unable to backup file:"},
        // The new mirror copy does not fit: the mirror keeps the older file, and no revision is
        // taken, since the old copy becomes one only as the new copy takes its place.
        FullCase{"revision", SaveRevisions, 3, {0.6, 0.6}, {{L"f.bin", 0}}, {}, {}, "WARNING: Unable to backup file:"},
        // Every revision number is taken and the new copy does not fit: the oldest revision stays,
        // since it gives way only to a whole one.
        FullCase{"oldest_revision", SaveRevisions, 1, {0.1, 0.5, 0.6}, {{L"f.bin", 1}}, {{L"f.1.bin", 0}}, {},
                 "WARNING: Unable to backup file:"},
        // The old mirror copy becomes the revision by a rename, so a revision needs no room of its
        // own: a drive with room for the new copy alone takes both.
        FullCase{"revision_needs_no_room", SaveRevisions, 1, {0.1, 0.5, 0.1}, {{L"f.bin", 2}}, {{L"f.1.bin", 1}}, {},
                 nullptr, 1},
        FullCase{"deleted_file", SaveDeleted, 0, {0.6, 0}, {{L"f.bin", 0}}, {}, {},
                 "WARNING: Unable to move deleted file:"}),
    [](const ::testing::TestParamInfo<FullCase> &info) { return std::string(info.param.road); });

// A Stop in the middle of one long copy, on a drive slow enough that the copy takes seconds.
struct StopCase {
    const char *road;
    uint32_t flags;
    bool changeSource;  // the second run finds the source changed (else deleted)
    bool secondRun;     // the copy stopped is the second run's
};

class StopDuringCopyTest : public CopyJobTest, public ::testing::WithParamInterface<StopCase> {
};

TEST_P(StopDuringCopyTest, StopIsNoticedWithinASecondAndLeavesNoPartFile)
{
    const StopCase &c = GetParam();
    const size_t size = 64u << 20;
    UseDrive(L"S:\\");
    std::wstring file = source + L"big.bin";
    ASSERT_TRUE(WriteFilledFile(file, size, 'a'));
    SetWriteTicks(file, 130000000000000000LL);
    int index = AddJob(Enabled | Uncompressed | c.flags);
    BackupConfig *config = env.Config(index);
    std::map<std::wstring, long long> before;
    if (c.secondRun) {
        ASSERT_EQ(env.RunJob(index), 1) << env.LogText(index);
        before = Files();
        if (c.changeSource) {
            ASSERT_TRUE(WriteFilledFile(file, size, 'b'));
            SetWriteTicks(file, 130000864000000000LL);
        } else {
            ASSERT_TRUE(DeleteFileW(file.c_str()));
        }
    }
    unsigned long long freeBefore = FreeBytes(L"S:\\");
    int result = -1;
    std::thread job([&] { result = env.RunJob(index); });
    // The copy is under way once some megabytes of it are on the drive.
    bool copying = WaitUntil([&] { return FreeBytes(L"S:\\") + (4u << 20) < freeBefore; }, 60000);
    DWORD stopped = GetTickCount();
    SetCancelRequested(config, 1);
    job.join();
    DWORD elapsed = GetTickCount() - stopped;
    ASSERT_TRUE(copying) << c.road << ": the copy never started\n" << env.LogText(index);
    EXPECT_LT(elapsed, 1000u) << c.road;
    EXPECT_EQ(result, 4) << env.LogText(index);
    std::map<std::wstring, long long> after = Files();
    EXPECT_EQ(after, before) << c.road << ": found\n" << Describe(after) << "expected\n" << Describe(before);
    if (c.secondRun) {
        EXPECT_EQ(GetWriteTicks(destination + Mirror(L"big.bin")), 130000000000000000LL);
    }
}

INSTANTIATE_TEST_SUITE_P(Roads, StopDuringCopyTest,
                         ::testing::Values(StopCase{"mirror", 0, true, false},
                                           StopCase{"revision", SaveRevisions, true, true},
                                           StopCase{"deleted", SaveDeleted, false, true}),
                         [](const ::testing::TestParamInfo<StopCase> &info) { return std::string(info.param.road); });

} // namespace
