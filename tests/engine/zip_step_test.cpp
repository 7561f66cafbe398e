// The ZIP step on real folders with the real compression library: list files, archive names,
// old parts, the date filter, volumes, passwords, result lines and cancelling.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string>
#include <vector>

#include "BackupConfig.h"
#include "ConfigRuntime.h"
#include "GlobalSettings.h"
#include "JobTestSupport.h"
#include "TextHelpers.h"
#include "ZipStep.h"

namespace {

const uint32_t kZipJob = Compressed | Enabled;

void SetPassword(BackupConfig *config, const char *password)
{
    ZeroMemory(config->zipPassword, sizeof(config->zipPassword));
    lstrcpynA(config->zipPassword, password, sizeof(config->zipPassword));
    ScramblePassword(config->zipPassword);
}

class ZipStepTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetCompressionLibraryFolder(BinFolder().c_str());
        source = env.work.Wide() + L"src\\";
        destination = env.work.path + "dest\\";
        MakeFolder(source);
        MakeFolder(Widen(destination));
    }
    void TearDown() override { SetCompressionLibraryFolder(nullptr); }

    int AddJob(uint32_t flags, const std::vector<std::string> &sources)
    {
        int index = env.AddConfig("Job A", destination, sources, flags);
        lstrcpynA(env.Config(index)->compressedFileName, "Backup.zip", 260);
        return index;
    }
    int AddJob(uint32_t flags = kZipJob) { return AddJob(flags, {Narrow(source)}); }
    std::string Compressed() { return destination + "Job A\\Compressed\\"; }
    std::string ListFile(int index, int sourceIndex)
    {
        return ReadTextFile(Widen(env.data.path + std::to_string(env.Config(index)->uniqueId) + "_" +
                                  std::to_string(sourceIndex) + ".txt"));
    }

    JobTestEnvironment env;
    std::wstring source;
    std::string destination;
};

// A folder on the Z: drive, a second source root beside the temporary folder's C:.
class OtherRootFolder {
public:
    OtherRootFolder()
    {
        static int counter = 0;
        path = "Z:\\tmp\\velloran_zip_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) + "\\";
        usable = GetDriveTypeA("Z:\\") > DRIVE_NO_ROOT_DIR && MakeFolder(Widen(path));
    }
    ~OtherRootFolder() { RemoveTreeW(Widen(path)); }
    std::string path;
    bool usable;
};

TEST_F(ZipStepTest, OneRootMakesOneArchiveFromItsListFile)
{
    WriteTextFile(source + L"a.txt", "alpha");
    MakeFolder(source + L"sub");
    WriteTextFile(source + L"sub\\b.txt", "beta");
    int index = AddJob();
    EXPECT_EQ(env.RunJob(index), 1);
    std::string archive = Compressed() + "Backup.zip";
    EXPECT_TRUE(FileExists(Widen(archive)));
    EXPECT_TRUE(HasLine(env.LogLines(index), "Compressed file created successfully: " + archive));
    // Paths relative to the root, CR LF line ends.
    std::string root = Narrow(source).substr(3);
    std::string list = ListFile(index, 0);
    EXPECT_NE(list.find(root + "a.txt\r\n"), std::string::npos) << list;
    EXPECT_NE(list.find(root + "sub\\b.txt\r\n"), std::string::npos) << list;
}

// Windows allows a name that is no valid UTF-16 (Wine refuses to make one): it cannot go
// into the UTF-8 list, so it is a WARNING line that names it, and the listing goes on.
TEST_F(ZipStepTest, NameThatCannotBeListedIsAWarningLine)
{
    ScratchFolder logs;
    std::wstring logPath = logs.Wide() + L"log.txt";
    std::wstring listPath = logs.Wide() + L"list.txt";
    FILE *log = _wfopen(logPath.c_str(), L"wt");
    ZipOutput output = {};
    strcpy(output.root, "C:\\");
    output.listFile = _wfopen(listPath.c_str(), L"wt");
    ASSERT_TRUE(log != nullptr && output.listFile != nullptr);
    JobContext context = {};
    context.zipOutputs = &output;
    context.zipOutputCount = 1;
    std::wstring lone = std::wstring(L"C:\\data\\lone") + (wchar_t)0xD800 + L".txt";
    EXPECT_EQ(AddToZipList(log, lone.c_str(), &context, 0), -1);
    EXPECT_EQ(AddToZipList(log, L"C:\\data\\\u5831\u544a.txt", &context, 0), 1);
    EXPECT_EQ(output.fileCount, 1);
    fclose(output.listFile);
    fclose(log);
    ReleaseZipNames(&output);
    EXPECT_EQ(ReadTextFile(listPath), "data\\\xe5\xa0\xb1\xe5\x91\x8a.txt\r\n");
    EXPECT_EQ(ReadTextFile(logPath), "WARNING (4d): Unable to list file for compression: C:\\data\\lone?.txt\r\n");
}

TEST_F(ZipStepTest, FiltersAndDuplicateSourcesListEachFileOnce)
{
    WriteTextFile(source + L"keep.txt", "k");
    WriteTextFile(source + L"skip.tmp", "s");
    WriteTextFile(source + L"excluded.txt", "e");
    std::string fileSource = Narrow(source) + "keep.txt";
    int index = AddJob(kZipJob, {Narrow(source), fileSource});
    env.SetExtensions(index, {"tmp"}, 0);
    env.AddExcluded(index, Narrow(source) + "excluded.txt");
    EXPECT_EQ(env.RunJob(index), 1);
    std::vector<std::string> lines = SplitLines(ListFile(index, 0));
    ASSERT_EQ(lines.size(), 1u) << ListFile(index, 0);
    EXPECT_EQ(lines[0], Narrow(source).substr(3) + "keep.txt");
}

TEST_F(ZipStepTest, RootTagsGoBeforeTheExtension)
{
    ZipOutput output = {};
    char name[260];
    strcpy(output.root, "D:\\");
    ASSERT_EQ(AddRootToZipName(name, "Backup_[[DATE]].zip", &output, nullptr), 1);
    EXPECT_STREQ(name, "Backup_[[DATE]]_D.zip");
    strcpy(output.root, "\\\\srv\\data\\");
    ASSERT_EQ(AddRootToZipName(name, "Backup_[[DATE]].zip", &output, nullptr), 1);
    EXPECT_STREQ(name, "Backup_[[DATE]]_srv_data.zip");
}

TEST_F(ZipStepTest, RootTagThatMakesTheNameTooLongIsAnError)
{
    ScratchFolder logs;
    std::wstring logPath = logs.Wide() + L"log.txt";
    FILE *log = _wfopen(logPath.c_str(), L"wt");
    ASSERT_NE(log, nullptr);
    ZipOutput output = {};
    strcpy(output.root, "\\\\server\\share\\");
    std::string longName = std::string(250, 'n') + ".zip";
    char name[260 + 64];
    memset(name, 'X', sizeof(name));
    EXPECT_EQ(AddRootToZipName(name, longName.c_str(), &output, log), 0);
    EXPECT_LT(strnlen(name, 260), 260u); // nothing written past the 260-byte buffer
    for (size_t i = 260; i < sizeof(name); ++i)
        ASSERT_EQ(name[i], 'X');
    // Exactly at the limit: 259 characters still fit.
    std::string fits = std::string(259 - 4 - 13, 'n') + ".zip";
    EXPECT_EQ(AddRootToZipName(name, fits.c_str(), &output, log), 1);
    EXPECT_EQ(strlen(name), 259u);
    std::string over = std::string(259 - 4 - 12, 'n') + ".zip";
    EXPECT_EQ(AddRootToZipName(name, over.c_str(), &output, log), 0);
    fclose(log);
    std::vector<std::string> lines = SplitLines(ReadTextFile(logPath));
    EXPECT_EQ(CountLinesStartingWith(lines, "ERROR (8b): Compressed filename too long with source root tag: "), 2);
}

TEST_F(ZipStepTest, TwoRootsGiveTwoTaggedArchives)
{
    OtherRootFolder other;
    if (!other.usable)
        GTEST_SKIP() << "no Z: drive";
    WriteTextFile(source + L"c.txt", "on C");
    WriteTextFile(Widen(other.path) + L"z.txt", "on Z");
    int index = AddJob(kZipJob, {Narrow(source), other.path});
    EXPECT_EQ(env.RunJob(index), 1);
    char drive[2] = {(char)source[0], '\0'};
    std::string first = Compressed() + "Backup_" + drive + ".zip";
    EXPECT_TRUE(FileExists(Widen(first))) << first;
    EXPECT_TRUE(FileExists(Widen(Compressed() + "Backup_Z.zip")));
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_EQ(CountLinesStartingWith(lines, "Compressed file created successfully: "), 2);
}

TEST_F(ZipStepTest, PasswordWithAQuoteIsRefused)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob(kZipJob | Encrypted);
    SetPassword(env.Config(index), "pa\"ss");
    EXPECT_EQ(env.RunJob(index), 3);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_EQ(CountLinesStartingWith(lines, "ERROR: ZIP password contains a double quote"), 1);
    EXPECT_TRUE(HasLine(lines, "WARNING(1B): Creating compressed backup zip completed with errors or warnings"));
    EXPECT_FALSE(FileExists(Widen(Compressed() + "Backup.zip")));
    EXPECT_EQ(env.LogText(index).find("pa\"ss"), std::string::npos);
}

TEST_F(ZipStepTest, PasswordSwitchIsBuiltAndWipedWhenRefused)
{
    BackupConfig config = {};
    config.flags = Encrypted;
    SetPassword(&config, "secret word");
    char out[384];
    ASSERT_EQ(BuildPasswordSwitch(&config, out, nullptr), 1);
    EXPECT_STREQ(out, "-p\"secret word\" -mem=AES256 ");
    SetPassword(&config, "a\"b");
    memset(out, 'x', sizeof(out));
    EXPECT_EQ(BuildPasswordSwitch(&config, out, nullptr), 0);
    for (char c : out)
        ASSERT_EQ(c, '\0');
    // The stored password stays scrambled.
    char stored[256];
    memcpy(stored, config.zipPassword, sizeof(stored));
    ScramblePassword(stored);
    EXPECT_STREQ(stored, "a\"b");
    config.flags = 0;
    EXPECT_EQ(BuildPasswordSwitch(&config, out, nullptr), 1);
    EXPECT_STREQ(out, "");
}

TEST_F(ZipStepTest, VolumeSwitchFollowsTheSplitUnit)
{
    BackupConfig config = {};
    JobContext context = {};
    context.config = &config;
    char out[64];
    BuildVolumeSwitch(&context, out);
    EXPECT_STREQ(out, "");
    config.flags = SplitZip;
    config.splitSize = 5;
    const char *expected[] = {"-v5b ", "-v5k ", "-v5m ", "-v5g ", "-v5g "};
    for (int unit = 0; unit < 5; ++unit) {
        config.splitUnit = unit;
        BuildVolumeSwitch(&context, out);
        EXPECT_STREQ(out, expected[unit]);
    }
    context.burnToDisc = 1;
    context.spanDiscs = 1;
    context.discFreeBytes = 4700000000.75;
    BuildVolumeSwitch(&context, out);
    EXPECT_STREQ(out, "-v4700000000b ");
}

TEST_F(ZipStepTest, SplitArchiveKeepsItsPartsAndALonePartIsRenamed)
{
    std::string noise;
    unsigned seed = 12345;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise += (char)(seed >> 16);
    }
    WriteTextFile(source + L"noise.bin", noise);
    int index = AddJob(kZipJob | SplitZip);
    env.Config(index)->splitSize = 8;
    env.Config(index)->splitUnit = 1;
    EXPECT_EQ(env.RunJob(index), 1);
    std::string archive = Compressed() + "Backup.zip";
    EXPECT_FALSE(FileExists(Widen(archive)));
    EXPECT_TRUE(FileExists(Widen(archive + ".001")));
    EXPECT_TRUE(FileExists(Widen(archive + ".003")));
    // The log names a file that is there: the first part.
    const std::string made = "Compressed file created successfully: ";
    EXPECT_TRUE(HasLine(env.LogLines(index), made + archive + ".001")) << ::testing::PrintToString(env.LogLines(index));
    // Smaller now: one part, renamed to the archive's own name; the old parts are gone.
    WriteTextFile(source + L"noise.bin", "small");
    EXPECT_EQ(env.RunJob(index), 1);
    EXPECT_TRUE(FileExists(Widen(archive)));
    EXPECT_FALSE(FileExists(Widen(archive + ".001")));
    EXPECT_FALSE(FileExists(Widen(archive + ".002")));
    EXPECT_TRUE(HasLine(env.LogLines(index), made + archive));
}

TEST_F(ZipStepTest, OldPartThatCannotBeDeletedFailsTheStep)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob(kZipJob | SplitZip);
    env.Config(index)->splitSize = 1;
    env.Config(index)->splitUnit = 2;
    MakeFolder(Widen(destination + "Job A"));
    MakeFolder(Widen(Compressed()));
    std::string archive = Compressed() + "Backup.zip";
    WriteTextFile(Widen(archive + ".001"), "old one");
    WriteTextFile(Widen(archive + ".002"), "old two");
    WriteTextFile(Widen(archive + ".003"), "old three");
    // Held by a reader that lets others read, and by one that lets nothing through.
    for (DWORD sharing : {(DWORD)FILE_SHARE_READ, (DWORD)0}) {
        HANDLE held = CreateFileA((archive + ".002").c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0,
                                  nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        int result = env.RunJob(index);
        CloseHandle(held);
        EXPECT_EQ(result, 3);
        std::vector<std::string> lines = env.LogLines(index);
        EXPECT_TRUE(HasLine(lines, "ERROR: Unable to delete old zip file: " + archive + ".002"));
        EXPECT_EQ(CountLinesStartingWith(lines, "Compressed file created successfully: "), 0);
        // Nothing of the old archive is touched while a part of it cannot go, and the new one is gone.
        EXPECT_EQ(ReadTextFile(Widen(archive + ".001")), "old one");
        EXPECT_EQ(ReadTextFile(Widen(archive + ".002")), "old two");
        EXPECT_EQ(ReadTextFile(Widen(archive + ".003")), "old three");
        EXPECT_FALSE(FileExists(Widen(archive + kZipTemporarySuffix + ".001")));
    }
}

TEST_F(ZipStepTest, OldArchiveThatCannotBeDeletedFailsTheStep)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob();
    MakeFolder(Widen(destination + "Job A"));
    MakeFolder(Widen(Compressed()));
    std::string archive = Compressed() + "Backup.zip";
    WriteTextFile(Widen(archive), "old");
    HANDLE held = CreateFileA(archive.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int result = env.RunJob(index);
    CloseHandle(held);
    EXPECT_EQ(result, 3);
    EXPECT_TRUE(HasLine(env.LogLines(index), "ERROR: Unable to delete old zip file: " + archive));
}

TEST_F(ZipStepTest, CompressionLogIsEmptiedBeforeEachCall)
{
    WriteTextFile(source + L"a.txt", "alpha");
    WriteTextFile(Widen(env.data.path + "compress.txt"), "a stale line of an earlier run\r\n");
    int index = AddJob();
    gSettings.logCompression = 1;
    EXPECT_EQ(env.RunJob(index), 1);
    std::string text = env.LogText(index);
    EXPECT_NE(text.find("-- ZIP File Creation Log Start --"), std::string::npos);
    EXPECT_NE(text.find("-- ZIP File Creation Log End   --"), std::string::npos);
    EXPECT_EQ(text.find("a stale line"), std::string::npos);
}

TEST_F(ZipStepTest, UnreadableFileGivesWarningsAndTheArchiveOfTheRest)
{
    WriteTextFile(source + L"a.txt", "alpha");
    WriteTextFile(source + L"locked.txt", "locked");
    HANDLE held = CreateFileW((source + L"locked.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    int index = AddJob();
    int result = env.RunJob(index);
    CloseHandle(held);
    EXPECT_EQ(result, 3);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "WARNING (1): Compression operation completed with warnings."));
    EXPECT_TRUE(HasLine(lines, "WARNING(1B): Creating compressed backup zip completed with errors or warnings"));
    EXPECT_TRUE(HasLine(lines, "-- ZIP File Creation Log Start --"));
    EXPECT_TRUE(FileExists(Widen(Compressed() + "Backup.zip")));
}

TEST_F(ZipStepTest, DateFilterListsChangedFilesAndEveryNthRunAll)
{
    const long long old = 130000000000000000LL; // 2012
    WriteTextFile(source + L"a.txt", "alpha");
    WriteTextFile(source + L"b.txt", "beta");
    SetWriteTicks(source + L"a.txt", old);
    SetWriteTicks(source + L"b.txt", old);
    int index = AddJob();
    BackupConfig *config = env.Config(index);
    // A name of its own for each run, as the job control counts them.
    lstrcpynA(config->compressedFileName, "Backup_[[UNIQUE]].zip", 260);
    config->dateFilterFlags = EveryNAll;
    config->fullBackupEvery = 3;
    std::string root = Narrow(source).substr(3);
    auto listed = [&]() { return SplitLines(ListFile(index, 0)); };
    auto run = [&]() {
        ++config->runCount;
        return env.RunJob(index);
    };

    EXPECT_EQ(run(), 1);
    EXPECT_EQ(listed().size(), 2u);
    EXPECT_EQ(config->dateFilterCount, 1);
    WriteTextFile(source + L"b.txt", "beta, edited");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(listed(), std::vector<std::string>{root + "b.txt"});
    EXPECT_EQ(config->dateFilterCount, 2);
    EXPECT_EQ(run(), 1);
    EXPECT_TRUE(listed().empty());
    std::string third = Compressed() + "Backup_" + std::to_string(config->uniqueId) + "_3.zip";
    EXPECT_TRUE(HasLine(env.LogLines(index), "Skipping creation of empty ZIP file: " + third));
    EXPECT_EQ(config->dateFilterCount, 3);
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(listed().size(), 2u);
    EXPECT_EQ(config->dateFilterCount, 1);
}

// A date-filtered run trusts only the record of the files archived since the last full run that
// the last counted run wrote; without it, it archives all files.
TEST_F(ZipStepTest, RecordOfArchivedFilesThatIsNotThatOfTheLastRunMakesAFullRun)
{
    WriteTextFile(source + L"Budget 2024.xlsx", "rent;heating");
    WriteTextFile(source + L"IMG_0412.JPG", "jpeg");
    int index = AddJob();
    BackupConfig *config = env.Config(index);
    lstrcpynA(config->compressedFileName, "Backup_[[UNIQUE]].zip", 260);
    config->dateFilterFlags = EveryNAll;
    config->fullBackupEvery = 30;
    std::wstring record = Widen(env.data.path + std::to_string(config->uniqueId) + "_zipnames.dat");
    const std::string fullRun = "No record of the files compressed since the last full ZIP backup, so all files are compressed";
    struct Case {
        const char *record;
        void (*change)(const std::wstring &record, BackupConfig *config);
        size_t listed;
    } cases[] = {
        {"intact", [](const std::wstring &, BackupConfig *) {}, 0},
        {"missing", [](const std::wstring &path, BackupConfig *) { DeleteFileW(path.c_str()); }, 2},
        {"cut short", [](const std::wstring &path, BackupConfig *) {
             WriteTextFile(path, ReadTextFile(path).substr(0, 40)); }, 2},
        {"of another run", [](const std::wstring &, BackupConfig *c) { c->lastCompressedRunTime.wSecond ^= 1; }, 2},
    };
    ++config->runCount;
    ASSERT_EQ(env.RunJob(index), 1);
    for (const Case &c : cases) {
        c.change(record, config);
        ++config->runCount;
        EXPECT_EQ(env.RunJob(index), 1) << c.record;
        EXPECT_EQ(SplitLines(ListFile(index, 0)).size(), c.listed) << c.record;
        EXPECT_EQ(HasLine(env.LogLines(index), fullRun), c.listed != 0) << c.record;
    }
}

TEST_F(ZipStepTest, ZipVolumesAreOnlyThoseMadeInThisRun)
{
    OtherRootFolder other;
    if (!other.usable)
        GTEST_SKIP() << "no Z: drive";
    WriteTextFile(source + L"c.txt", "on C");
    WriteTextFile(Widen(other.path) + L"z.txt", "on Z");
    int index = AddJob(kZipJob, {Narrow(source), other.path});
    BackupConfig *config = env.Config(index);
    std::string compressed = env.work.path + "zips\\";
    MakeFolder(Widen(compressed));
    // The second root's old archive cannot be replaced: the step makes the new one, cannot put
    // it in place and stops.
    std::string stale = compressed + "Backup_Z.zip";
    WriteTextFile(Widen(stale), "an archive of an earlier run");
    HANDLE held = CreateFileA(stale.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ScratchFolder logs;
    std::wstring logPath = logs.Wide() + L"log.txt";
    FILE *log = _wfopen(logPath.c_str(), L"wt");
    ASSERT_NE(log, nullptr);
    JobContext context = {};
    context.config = config;
    context.progress = &config->progressPercent;
    strcpy(context.compressedFolder, compressed.c_str());
    gSettings.logVerbose = 1;
    EXPECT_EQ(CreateZipArchives(log, &context), 0);
    CloseHandle(held);
    ASSERT_EQ(context.zipOutputCount, 2);
    int count = -1;
    ZipVolumePath *volumes = nullptr;
    EXPECT_EQ(ListZipVolumes(&context, log, &count, &volumes), 1);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(volumes[0], context.zipOutputs[0].zipPath);
    free(volumes);
    FreeZipOutputs(&context);
    EXPECT_EQ(context.zipOutputs, nullptr);
    fclose(log);
    std::vector<std::string> lines = SplitLines(ReadTextFile(logPath));
    EXPECT_TRUE(HasLine(lines, "Current job ZIP files (1):"));
    EXPECT_TRUE(HasLine(lines, "ERROR: Unable to delete old zip file: " + stale));
}

TEST_F(ZipStepTest, SplitVolumesAreListedInOrder)
{
    std::string noise;
    unsigned seed = 777;
    for (int i = 0; i < 20000; ++i) {
        seed = seed * 1103515245u + 12345u;
        noise += (char)(seed >> 16);
    }
    WriteTextFile(source + L"noise.bin", noise);
    int index = AddJob(kZipJob | SplitZip);
    BackupConfig *config = env.Config(index);
    config->splitSize = 8;
    config->splitUnit = 1;
    std::string compressed = env.work.path + "zips\\";
    MakeFolder(Widen(compressed));
    JobContext context = {};
    context.config = config;
    context.progress = &config->progressPercent;
    strcpy(context.compressedFolder, compressed.c_str());
    EXPECT_EQ(CreateZipArchives(nullptr, &context), 1);
    int count = 0;
    ZipVolumePath *volumes = nullptr;
    EXPECT_EQ(ListZipVolumes(&context, nullptr, &count, &volumes), 1);
    ASSERT_EQ(count, 3);
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(std::string(volumes[i]), compressed + "Backup.zip.00" + std::to_string(i + 1));
    free(volumes);
    FreeZipOutputs(&context);
}

DWORD WINAPI CancelWhenCompressing(LPVOID parameter)
{
    return CancelOnceCompressing(static_cast<BackupConfig *>(parameter), 30000) ? 0 : 1;
}

TEST_F(ZipStepTest, CancelWhileCompressingLeavesNoArchive)
{
    // Text, which keeps the library busy for a while: noise it only stores, at the speed of
    // the disc.
    static const char *const words[] = {"backup ", "volume ", "archive ", "folder ", "schedule ", "mirror ",
                                        "compress ", "restore ", "the ", "of ", "and ", "report\r\n"};
    std::string text;
    text.reserve(48 * 1024 * 1024 + 16);
    unsigned seed = 99;
    while (text.size() < 48 * 1024 * 1024) {
        seed = seed * 1103515245u + 12345u;
        text += words[(seed >> 16) % (sizeof words / sizeof words[0])];
    }
    WriteTextFile(source + L"big.bin", text);
    text.clear();
    int index = AddJob();
    BackupConfig *config = env.Config(index);
    HANDLE canceller = CreateThread(nullptr, 0, CancelWhenCompressing, config, 0, nullptr);
    int result = env.RunJob(index);
    WaitForSingleObject(canceller, INFINITE);
    DWORD found = 1;
    GetExitCodeThread(canceller, &found);
    CloseHandle(canceller);
    EXPECT_EQ(found, 0u);
    EXPECT_EQ(result, 4);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((Compressed() + "*.zip*").c_str(), &entry);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << entry.cFileName;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

} // namespace
