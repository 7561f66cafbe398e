// Joining the parts of a split ZIP archive: byte-exact output, where the part search stops,
// the refused first parts, and every failure or cancel leaving an existing archive untouched
// and no temporary file behind. Parts that make no whole archive, or whose entries do not match
// their directory, are covered, with archives of kvcmpenc and other writers, by the end-to-end
// tests.
#include <windows.h>
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "AllocationSeam.h"
#include "CombineSplitZip.h"
#include "JobTestSupport.h"
#include "MsvcrtFormat.h"
#include "StoredZip.h"

namespace {

const char kOldArchive[] = "the good archive of an earlier join";

std::string Bytes(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = (char)(state >> 16);
    }
    return data;
}

class SplitArchive {
public:
    std::string Part(int number) const
    {
        char name[MAX_PATH];
        FormatText(name, sizeof name, "%sbackup.zip.%03d", folder.path.c_str(), number);
        return name;
    }
    std::string Output() const { return folder.path + "backup.zip"; }
    std::string Temporary() const { return Output() + kCombineTemporarySuffix; }
    // Writes part `number` of bytes that make no archive and returns them.
    std::string WritePart(int number, size_t size)
    {
        std::string data = Bytes(size, (unsigned)number);
        EXPECT_TRUE(WriteTextFile(Widen(Part(number)), data));
        return data;
    }
    // Writes an archive split into parts of these sizes and returns its bytes.
    std::string WriteArchiveParts(const std::vector<size_t> &sizes)
    {
        size_t total = 0;
        for (size_t size : sizes)
            total += size;
        std::string archive = MakeStoredZipOfSize(total, (unsigned)sizes.size());
        size_t at = 0;
        for (size_t i = 0; i < sizes.size(); ++i) {
            EXPECT_TRUE(WriteTextFile(Widen(Part((int)i + 1)), archive.substr(at, sizes[i])));
            at += sizes[i];
        }
        return archive;
    }
    void WriteOldArchive() { ASSERT_TRUE(WriteTextFile(Widen(Output()), kOldArchive)); }
    std::string OutputContent() const { return ReadTextFile(Widen(Output())); }
    bool OutputExists() const { return FileExists(Widen(Output())); }
    bool TemporaryExists() const { return FileExists(Widen(Temporary())); }
    ScratchFolder folder;
};

// A job set up as the dialog sets it up before it starts the thread.
void PrepareJob(CombineJob *job, const std::string &firstPart)
{
    memset(job, 0, sizeof *job);
    lstrcpynA(job->firstPart, firstPart.c_str(), sizeof job->firstPart);
    job->running = 1;
    job->result = CombineCancelled;
}

// Runs the thread procedure on this thread.
CombineJob Join(const std::string &firstPart)
{
    CombineJob job;
    PrepareJob(&job, firstPart);
    EXPECT_EQ(CombineSplitZipThread(&job), 0u);
    EXPECT_EQ(job.running, 0);
    return job;
}

std::string Message(const CombineJob &job)
{
    char text[kCombineMessageSize];
    FormatCombineResultMessage(&job, text, sizeof text);
    return text;
}

// The hook sees each read, write and close; a test names the one that fails, and may ask for
// a cancel after a number of writes.
struct IoScript {
    CombineIoStep failingStep = CombineIoRead;
    int failOnCall = 0; // 1 = the first call of that step; 0 none
    int cancelAfterWrites = 0;
    CombineJob *job = nullptr;
    int reads = 0, writes = 0, closes = 0;
    std::vector<int> percents;
};
IoScript *script = nullptr;

bool ScriptedIo(CombineIoStep step)
{
    int *count = step == CombineIoRead ? &script->reads : step == CombineIoWrite ? &script->writes : &script->closes;
    ++*count;
    if (step == CombineIoWrite && script->job != nullptr) {
        script->percents.push_back((int)script->job->percent);
        if (script->cancelAfterWrites != 0 && script->writes > script->cancelAfterWrites)
            script->job->cancel = 1;
    }
    return !(step == script->failingStep && *count == script->failOnCall);
}

class CombineJoin : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetCombineIoHookForTesting(nullptr);
        script = nullptr;
        FailAllocationForTesting(0);
    }
    // Joins with the hook following `io`, which sees the job being joined.
    CombineJob JoinScripted(IoScript &io)
    {
        CombineJob job;
        PrepareJob(&job, parts.Part(1));
        io.job = &job;
        script = &io;
        SetCombineIoHookForTesting(ScriptedIo);
        CombineSplitZipThread(&job);
        SetCombineIoHookForTesting(nullptr);
        return job;
    }
    // Three parts of 1.5 MB, so the copy takes several blocks.
    std::string WriteThreeParts()
    {
        size_t size = 3 * kCombineBufferSize / 2;
        return parts.WriteArchiveParts({size, size, size});
    }
    void ExpectOldArchiveKept()
    {
        EXPECT_TRUE(parts.OutputContent() == kOldArchive) << "the existing archive was changed";
        EXPECT_FALSE(parts.TemporaryExists());
    }
    SplitArchive parts;
};

TEST_F(CombineJoin, PartsAreJoinedInOrderOverAnExistingArchive)
{
    // A part longer than the buffer, one an exact multiple of it (ends on an empty read), a tiny one.
    std::string expected = parts.WriteArchiveParts({kCombineBufferSize + 4321, 2 * kCombineBufferSize, 17});
    parts.WriteOldArchive();

    CombineJob job = Join(parts.Part(1));

    EXPECT_EQ(job.result, CombineJoined);
    EXPECT_EQ(job.percent, 100);
    EXPECT_STREQ(job.outputPath, parts.Output().c_str());
    EXPECT_TRUE(parts.OutputContent() == expected) << "joined file differs from the parts' concatenation";
    EXPECT_FALSE(parts.TemporaryExists());
    EXPECT_EQ(Message(job), "ZIP Successfully Combined\n\nLocation: " + parts.Output());
}

TEST_F(CombineJoin, PartSearchStopsAtTheFirstMissingNumber)
{
    parts.WriteArchiveParts({1000, 1000, 1000});
    DeleteFileA(parts.Part(2).c_str());
    CombineJob job = Join(parts.Part(1));
    EXPECT_EQ(job.result, CombineMissingPart);
    EXPECT_EQ(job.faultyPart, 2);
    EXPECT_FALSE(parts.OutputExists());
    EXPECT_FALSE(parts.TemporaryExists());
}

TEST_F(CombineJoin, PercentRisesToOneHundred)
{
    WriteThreeParts();
    IoScript io;
    CombineJob job = JoinScripted(io);
    ASSERT_EQ(job.result, CombineJoined);
    ASSERT_GE(io.percents.size(), 6u);
    for (size_t i = 1; i < io.percents.size(); ++i)
        EXPECT_LE(io.percents[i - 1], io.percents[i]);
    EXPECT_LT(io.percents.front(), 30);
    EXPECT_EQ(job.percent, 100);
}

TEST_F(CombineJoin, RefusedFirstPartsWriteNothing)
{
    parts.WritePart(1, 100);
    parts.WritePart(2, 100);
    WriteTextFile(Widen(parts.folder.path + "backup.zip.1"), "x");
    const std::string refused[] = {
        parts.Part(2),                        // not the first part
        parts.folder.path + "backup.zip.1",   // not three digits
        parts.folder.path + "other.zip.001",  // no such file
        ".001",                               // four characters
        "",
    };
    for (const std::string &name : refused) {
        CombineJob job = Join(name);
        EXPECT_EQ(job.result, CombineBadFirstPart) << name;
        EXPECT_EQ(Message(job), "Missing or badly named file:\n\n" + name);
    }
    EXPECT_FALSE(parts.OutputExists());
}

TEST_F(CombineJoin, EmptyPartsAreRefused)
{
    parts.WritePart(1, 0);
    parts.WritePart(2, 0);
    parts.WriteOldArchive();
    CombineJob job = Join(parts.Part(1));
    EXPECT_EQ(job.result, CombineBadFirstPart);
    ExpectOldArchiveKept();
}

TEST_F(CombineJoin, NineHundredNinetyNinePartsAreTooMany)
{
    parts.WriteArchiveParts({200});
    for (int n = 2; n <= 999; ++n)
        parts.WritePart(n, 0);
    CombineJob job = Join(parts.Part(1));
    EXPECT_EQ(job.result, CombineTooManyParts);
    EXPECT_EQ(Message(job), "Too many parts (>999)");
    EXPECT_FALSE(parts.OutputExists());
    EXPECT_FALSE(parts.TemporaryExists());

    // One part fewer is still a join.
    DeleteFileA(parts.Part(999).c_str());
    EXPECT_EQ(Join(parts.Part(1)).result, CombineJoined);
}

TEST_F(CombineJoin, LockedOrFolderOutputCannotBeCreated)
{
    parts.WriteArchiveParts({200});
    parts.WriteOldArchive();
    HANDLE lock = CreateFileA(parts.Output().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    CombineJob job = Join(parts.Part(1));
    CloseHandle(lock);
    EXPECT_EQ(job.result, CombineCannotCreateOutput);
    EXPECT_EQ(Message(job), "Failed to open combined ZIP file for writing:\n\n" + parts.Output());
    ExpectOldArchiveKept();

    DeleteFileA(parts.Output().c_str());
    ASSERT_TRUE(CreateDirectoryA(parts.Output().c_str(), nullptr));
    EXPECT_EQ(Join(parts.Part(1)).result, CombineCannotCreateOutput);
    EXPECT_FALSE(parts.TemporaryExists());
    RemoveDirectoryA(parts.Output().c_str());
}

TEST_F(CombineJoin, LockedPartCannotBeOpened)
{
    parts.WriteArchiveParts({200, 100});
    parts.WriteOldArchive();
    HANDLE lock = CreateFileA(parts.Part(2).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    CombineJob job = Join(parts.Part(1));
    CloseHandle(lock);
    EXPECT_EQ(job.result, CombineCannotOpenPart);
    EXPECT_EQ(Message(job), "Failed to open a split part for reading");
    ExpectOldArchiveKept();
}

TEST_F(CombineJoin, FailedReadWriteOrCloseIsReportedAndKeepsTheOldArchive)
{
    struct Case {
        CombineIoStep step;
        int call;
        int result;
    };
    WriteThreeParts();
    // The copy reads each part in two blocks, after the reads of the check.
    IoScript counting;
    ASSERT_EQ(JoinScripted(counting).result, CombineJoined);
    const int copyRead = counting.reads - 3;
    const Case cases[] = {
        {CombineIoRead, 1, CombineCannotReadPart},  // the first reads check the end and the directory
        {CombineIoRead, 5, CombineCannotReadPart},
        {CombineIoRead, 9, CombineCannotReadPart},  // the check of the entry's data
        {CombineIoRead, copyRead, CombineCannotReadPart},
        {CombineIoWrite, 1, CombineCannotWriteOutput},
        {CombineIoWrite, 4, CombineCannotWriteOutput},
        {CombineIoClose, 1, CombineCannotWriteOutput},
    };
    parts.WriteOldArchive();
    for (const Case &c : cases) {
        IoScript io;
        io.failingStep = c.step;
        io.failOnCall = c.call;
        CombineJob job = JoinScripted(io);
        EXPECT_EQ(job.result, c.result) << "step " << c.step << " call " << c.call;
        ExpectOldArchiveKept();
    }
    IoScript io;
    io.failingStep = CombineIoWrite;
    io.failOnCall = 1;
    CombineJob job = JoinScripted(io);
    EXPECT_EQ(Message(job), "Failed to write combined ZIP file:\n\n" + parts.Output());
    io = IoScript();
    io.failOnCall = 1;
    job = JoinScripted(io);
    EXPECT_EQ(Message(job), "Failed to read a split part");
}

TEST_F(CombineJoin, BufferThatCannotBeAllocatedKeepsTheOldArchive)
{
    parts.WritePart(1, 100);
    parts.WriteOldArchive();
    FailAllocationForTesting(1);
    CombineJob job = Join(parts.Part(1));
    EXPECT_EQ(job.result, CombineOutOfMemory);
    EXPECT_EQ(Message(job), "Memory allocation error");
    ExpectOldArchiveKept();
}

TEST_F(CombineJoin, CancelMidwayKeepsTheOldArchive)
{
    WriteThreeParts();
    parts.WriteOldArchive();
    IoScript io;
    io.cancelAfterWrites = 2;
    CombineJob job = JoinScripted(io);
    EXPECT_EQ(job.result, CombineCancelled);
    EXPECT_EQ(io.writes, 3);
    EXPECT_EQ(Message(job), "Task Cancelled");
    ExpectOldArchiveKept();
}

}  // namespace
