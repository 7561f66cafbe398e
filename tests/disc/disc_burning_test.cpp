// Backups to the recordable drive R: (a CD-ROM drive of the test prefix) with the disc platform
// replaced by a double: what is staged and burned, spanning, the questions asked, the failures
// of each step and their results, and cancelling.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "BackupConfig.h"
#include "ConfigRuntime.h"
#include "DiscBurning.h"
#include "DiscDouble.h"
#include "DriveInquiry.h"
#include "GlobalSettings.h"
#include "JobContext.h"
#include "JobTestSupport.h"
#include "ZipStep.h"

namespace {

const char *const kDestination = "R:\\Backups\\Nightly\\";
const std::string kWritableBox =
    "Please insert a writable disc in drive R\n\nPress 'OK' once the disc has been inserted and the drive light "
    "turns off.\nPress 'Cancel' to abort the backup.";
const std::string kBlankBox = "Please insert a blank disc with no prior recorded sessions in drive R\n\nPress 'Retry' "
                              "once the disc has been inserted.\nPress 'Cancel' to abort the backup.";

std::string ReadyBox(int disc, int count)
{
    return "Ready to burn disc " + std::to_string(disc) + " of " + std::to_string(count) +
           "\n\nPress 'OK' to continue\nPress 'Cancel' to abort";
}

// Bytes that do not compress, so the archive needs as many volumes as the data does.
std::string NoiseBytes(size_t count)
{
    std::string bytes(count, '\0');
    unsigned state = 12345;
    for (char &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = (char)(state >> 16);
    }
    return bytes;
}

class DiscBurningTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, startFolder);
        SetCompressionLibraryFolder(BinFolder().c_str());
        disc.stagingFolder = staging.path;
        source = env.work.Wide() + L"src\\";
        MakeFolder(source);
        RemoveTreeW(L"R:\\Backups");
    }
    void TearDown() override
    {
        SetCompressionLibraryFolder(nullptr);
        SetCurrentDirectoryW(startFolder);
        RemoveTreeW(L"R:\\Backups");
    }
    int AddJob(uint32_t flags, const std::string &destination = kDestination)
    {
        int index = env.AddConfig("Job A", destination, {Narrow(source)}, flags);
        lstrcpynA(env.Config(index)->compressedFileName, "Backup.zip", 260);
        SetManuallyStarted(env.Config(index), 1);
        return index;
    }
    // A compressed job of that many incompressible bytes on discs of 40,550 usable bytes.
    int AddSpanningJob(size_t bytes, uint32_t flags = 0, const std::string &destination = kDestination)
    {
        WriteTextFile(source + L"big.bin", NoiseBytes(bytes));
        ScriptedMedia small;
        small.freeBlocks = 20;
        disc.media = {small};
        return AddJob(Compressed | Enabled | flags, destination);
    }
    int Run(int index)
    {
        int result = env.RunJob(index);
        SetCurrentDirectoryW(startFolder);
        return result;
    }
    // Where a source file lands in a mirror below the backup folder.
    std::string MirrorOf(const std::string &name) const
    {
        std::string path = Narrow(source) + name;
        return path.substr(0, 1) + path.substr(2);
    }
    bool Logged(int index, const std::string &line) { return HasLine(env.LogLines(index), line); }
    std::string DataVolume(int part)
    {
        char name[16];
        wsprintfA(name, ".%03d", part);
        return env.dataPath + "Job A\\Compressed\\Backup.zip" + name;
    }

    wchar_t startFolder[MAX_PATH];
    JobTestEnvironment env;
    ScratchFolder staging;
    DiscDouble disc;
    std::wstring source;
};

TEST_F(DiscBurningTest, TestDriveIsACdRomDrive)
{
    ASSERT_EQ(GetDriveTypeA("R:\\"), (UINT)DRIVE_CDROM) << "the test prefix lacks its CD-ROM drive R:";
}

TEST_F(DiscBurningTest, SingleBurnStagesTheBackupUnderTheDestinationsFolderPathAndBurnsItOnce)
{
    WriteTextFile(source + L"a.txt", "alpha");
    MakeFolder(source + L"sub");
    WriteTextFile(source + L"sub\\b.txt", "beta");
    int index = AddJob(Uncompressed | Enabled);
    gSettings.logVerbose = 1;
    ScriptedBoxes boxes;
    EXPECT_EQ(Run(index), 1) << env.LogText(index);
    ASSERT_EQ(disc.discs.size(), 1u);
    BurnedDisc expected = {
        {"Backups\\Nightly\\Job A\\" + MirrorOf("a.txt"), "alpha"},
        {"Backups\\Nightly\\Job A\\" + MirrorOf("sub\\b.txt"), "beta"},
    };
    EXPECT_EQ(disc.discs[0], expected);
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_FALSE(FileExists(L"R:\\Backups")) << "nothing is written to the drive itself";
    EXPECT_TRUE(Logged(index, "Disc burning completed without errors."));
    EXPECT_TRUE(Logged(index, "Final Backup Destination:"));
    EXPECT_TRUE(Logged(index, "\t" + staging.path + "Backups\\Nightly\\Job A\\"));
    EXPECT_EQ(GetProgressPercent(env.Config(index)), 100);
    // The drive is identified by its trimmed inquiry names, its tray opened once, and every
    // object closed and released.
    EXPECT_TRUE(disc.inquiryLayoutRight);
    EXPECT_TRUE(Logged(index, "Enumerated disc 1: (vlrdisc;DVD-RW Writer;1.0)"));
    EXPECT_TRUE(Logged(index, "QueryMediaType: MediaType: 1; MediaFlags: 0x5"));
    EXPECT_TRUE(Logged(index, "\tMediaType name: MEDIA_CDDA_CDROM"));
    EXPECT_TRUE(Logged(index, "\tMediaFlag name: MEDIA_BLANK"));
    EXPECT_TRUE(Logged(index, "\tMediaFlag name: MEDIA_WRITABLE"));
    EXPECT_EQ(disc.CountCalls("Eject"), 1);
    EXPECT_EQ(disc.CountCalls("Close recorder"), 1);
    EXPECT_EQ(disc.CountCalls("Close master"), 1);
    EXPECT_EQ(disc.liveObjects, 0);
}

TEST_F(DiscBurningTest, TheDiscCheckLeavesTheStagingFolderAsTheCurrentFolder)
{
    int index = AddJob(Uncompressed | Enabled);
    JobContext context = {};
    context.config = env.Config(index);
    ASSERT_EQ(PrepareDiscDestination(&context, nullptr), 1);
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(Narrow(current) + "\\", staging.path);
    EXPECT_EQ(std::string(context.stagingFolder), staging.path);
    EXPECT_EQ(std::string(context.destination), staging.path + "Backups\\Nightly\\");
    EXPECT_EQ(context.burnToDisc, 1);
    EXPECT_EQ(context.spanDiscs, 0);
    EXPECT_DOUBLE_EQ(context.discFreeBytes, 2027520000.0);
}

TEST_F(DiscBurningTest, CompressedBackupLargerThanTheDiscSpansOneVolumePerDisc)
{
    int index = AddSpanningJob(100000);
    gSettings.logVerbose = 1;
    ScriptedBoxes boxes({IDOK, IDOK, IDOK});
    EXPECT_EQ(Run(index), 1) << env.LogText(index);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "\tVolume switch: -v40550b ")) << env.LogText(index);
    ASSERT_EQ(disc.discs.size(), 3u) << env.LogText(index);
    EXPECT_EQ(boxes.texts, (std::vector<std::string>{ReadyBox(1, 3), ReadyBox(2, 3), ReadyBox(3, 3)}));
    EXPECT_EQ(boxes.types, (std::vector<UINT>{MB_OKCANCEL, MB_OKCANCEL, MB_OKCANCEL}));
    size_t total = 0;
    for (int i = 0; i < 3; ++i) {
        const BurnedDisc &burned = disc.discs[(size_t)i];
        char name[40];
        wsprintfA(name, "Backups\\Nightly\\Backup.zip.%03d", i + 1);
        ASSERT_EQ(burned.size(), 1u);
        EXPECT_EQ(burned.begin()->first, name);
        EXPECT_LE(burned.begin()->second.size(), 40550u);
        total += burned.begin()->second.size();
        EXPECT_FALSE(FileExists(Widen(DataVolume(i + 1)))) << "each volume leaves the data folder";
        EXPECT_TRUE(HasLine(lines, "Burned spanning disc file " + std::to_string(i + 1) + ": " + staging.path + name));
    }
    EXPECT_GT(total, 100000u);
    EXPECT_TRUE(HasLine(lines, "Spanning disc burning completed without errors."));
    char status[520];
    GetStatusText(env.Config(index), status, sizeof(status));
    EXPECT_STREQ(status, "Burning disc 3 of 3");
    EXPECT_EQ(disc.liveObjects, 0);
}

TEST_F(DiscBurningTest, SpanningKeepsDateVariablesOfTheDestinationUnexpanded)
{
    int index = AddSpanningJob(50000, 0, "R:\\Backups\\[[YEAR]]\\");
    ScriptedBoxes boxes({IDOK, IDOK});
    EXPECT_EQ(Run(index), 1) << env.LogText(index);
    ASSERT_EQ(disc.discs.size(), 2u);
    EXPECT_EQ(disc.discs[0].begin()->first, "Backups\\[[YEAR]]\\Backup.zip.001");
    EXPECT_EQ(disc.discs[1].begin()->first, "Backups\\[[YEAR]]\\Backup.zip.002");
}

TEST_F(DiscBurningTest, BackupsThatCannotSpanAreRefusedAndAbortTheJob)
{
    WriteTextFile(source + L"data.txt", std::string(30000, 'x'));
    struct Case {
        uint32_t flags;
        ULONG freeBlocks;
    } cases[] = {
        {Uncompressed | Enabled, 10},
        // 30,000 bytes fit once on 20 blocks (40,550 bytes), but both kinds need them twice.
        {Uncompressed | Compressed | Enabled, 20},
    };
    for (const Case &c : cases) {
        int index = AddJob(c.flags);
        ScriptedMedia media;
        media.freeBlocks = c.freeBlocks;
        disc.media = {media};
        ScriptedBoxes boxes;
        EXPECT_EQ(Run(index), 4);
        EXPECT_TRUE(Logged(index, "ERROR: Uncompressed backup source is too large to fit on a single disc."));
        EXPECT_TRUE(Logged(index, "\tDisc spanning is only available with a compressed backup."));
        EXPECT_EQ(CountLinesStartingWith(env.LogLines(index), "WARNING: Unable to determine free space"), 0);
        EXPECT_TRUE(disc.discs.empty());
        EXPECT_TRUE(boxes.texts.empty());
    }
}

TEST_F(DiscBurningTest, AbsentMediaIsAskedForUntilADiscWithFreeBlocksIsIn)
{
    WriteTextFile(source + L"a.txt", "alpha");
    ScriptedMedia none;
    none.info = (HRESULT)0x8004020F;
    ScriptedMedia full;
    full.freeBlocks = 0;
    ScriptedMedia blank;
    {
        int index = AddJob(Uncompressed | Enabled);
        disc.media = {none, full, blank};
        ScriptedBoxes boxes({IDOK, IDOK});
        EXPECT_EQ(Run(index), 1) << env.LogText(index);
        EXPECT_EQ(boxes.texts, (std::vector<std::string>{kWritableBox, kWritableBox}));
        EXPECT_EQ(boxes.types, (std::vector<UINT>{MB_OKCANCEL, MB_OKCANCEL}));
        EXPECT_EQ(disc.discs.size(), 1u);
        EXPECT_EQ(disc.CountCalls("Eject"), 1);
    }
    {
        int index = AddJob(Uncompressed | Enabled);
        disc.media = {none};
        ScriptedBoxes boxes({IDCANCEL});
        EXPECT_EQ(Run(index), 4);
        EXPECT_TRUE(Logged(index, "WARNING: No valid media present in the drive for burning."));
        EXPECT_EQ(CountLinesStartingWith(env.LogLines(index), "WARNING: Unable to determine free space"), 0);
        EXPECT_EQ(disc.discs.size(), 1u) << "no second burn";
    }
    EXPECT_EQ(disc.liveObjects, 0);
}

TEST_F(DiscBurningTest, SpanningAsksForABlankDiscWhenTheDiscHoldsSessions)
{
    WriteTextFile(source + L"big.bin", NoiseBytes(50000));
    ScriptedMedia used;
    used.freeBlocks = 20;
    used.sessions = 2;
    ScriptedMedia blank;
    blank.freeBlocks = 20;
    blank.sessions = 0;
    {
        int index = AddJob(Compressed | Enabled);
        disc.media = {used, blank};
        ScriptedBoxes boxes({IDRETRY, IDOK, IDOK});
        EXPECT_EQ(Run(index), 1) << env.LogText(index);
        ASSERT_GE(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.texts[0], kBlankBox);
        EXPECT_EQ(boxes.types[0], (UINT)MB_RETRYCANCEL);
        EXPECT_EQ(disc.discs.size(), 2u);
    }
    {
        int index = AddJob(Compressed | Enabled);
        disc.media = {used};
        ScriptedBoxes boxes({IDCANCEL});
        EXPECT_EQ(Run(index), 4);
        EXPECT_TRUE(Logged(index, "ERROR: Disc spanning cannot start on a disc with prior recorded sessions."));
        EXPECT_EQ(disc.discs.size(), 2u);
    }
}

TEST_F(DiscBurningTest, BurnFailureGivesWarningsAndSkipsTheProgramAfter)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob(Uncompressed | RunProgramAfter | Enabled);
    lstrcpynA(env.Config(index)->programAfter, "cmd /c exit 0", 260);
    disc.burnFailsAt = 1;
    disc.burnFailure = (HRESULT)0x80004005;
    ScriptedBoxes boxes;
    EXPECT_EQ(Run(index), 3);
    EXPECT_TRUE(Logged(index, "ERROR (0x80004005): Burning failed."));
    EXPECT_EQ(CountLinesStartingWith(env.LogLines(index), "Starting External Process"), 0);
    EXPECT_EQ(CountLinesStartingWith(env.LogLines(index), "Disc burning completed"), 0);
    EXPECT_EQ(disc.liveObjects, 0);
    // The same job whose burn works runs its program after the backup.
    disc.burnFailsAt = 0;
    EXPECT_EQ(Run(index), 1);
    EXPECT_EQ(CountLinesStartingWith(env.LogLines(index), "Starting External Process: cmd /c exit 0"), 1);
}

TEST_F(DiscBurningTest, SpanningBurnFailureStopsAtThatDiscAndLeavesTheRestInTheDataFolder)
{
    int index = AddSpanningJob(100000, RunProgramAfter);
    lstrcpynA(env.Config(index)->programAfter, "cmd /c exit 0", 260);
    disc.burnFailsAt = 2;
    ScriptedBoxes boxes({IDOK, IDOK, IDOK});
    EXPECT_EQ(Run(index), 3);
    EXPECT_TRUE(Logged(index, "ERROR (0x80004005): Burning failed on disc 2 of 3.")) << env.LogText(index);
    EXPECT_EQ(disc.discs.size(), 2u);
    EXPECT_TRUE(FileExists(Widen(DataVolume(3))));
    EXPECT_EQ(CountLinesStartingWith(env.LogLines(index), "Starting External Process"), 0);
}

TEST_F(DiscBurningTest, AVolumeThatCannotBeMovedIntoTheStagingFolderEndsTheBurning)
{
    int index = AddSpanningJob(50000);
    MakeFolder(Widen(staging.path + "Backups"));
    MakeFolder(Widen(staging.path + "Backups\\Nightly"));
    WriteTextFile(Widen(staging.path + "Backups\\Nightly\\Backup.zip.001"), "left from an earlier run");
    ScriptedBoxes boxes({IDOK, IDOK});
    EXPECT_EQ(Run(index), 3);
    std::vector<std::string> lines = env.LogLines(index);
    EXPECT_TRUE(HasLine(lines, "ERROR (34g): Failed to move file:")) << env.LogText(index);
    EXPECT_TRUE(HasLine(lines, "\tFrom: " + DataVolume(1)));
    EXPECT_TRUE(HasLine(lines, "\tTo: " + staging.path + "Backups\\Nightly\\Backup.zip.001"));
    EXPECT_EQ(CountLinesStartingWith(lines, "== start_error"), 1);
    EXPECT_TRUE(disc.discs.empty());
    EXPECT_TRUE(boxes.texts.empty());
    EXPECT_TRUE(FileExists(Widen(DataVolume(1))));
}

TEST_F(DiscBurningTest, CancelInTheReadyBoxAbortsAndLeavesTheRemainingVolumes)
{
    int index = AddSpanningJob(100000);
    ScriptedBoxes boxes({IDOK, IDCANCEL});
    EXPECT_EQ(Run(index), 4);
    EXPECT_EQ(disc.discs.size(), 1u);
    EXPECT_EQ(boxes.texts.size(), 2u);
    EXPECT_TRUE(FileExists(Widen(staging.path + "Backups\\Nightly\\Backup.zip.002"))) << "moved before the question";
    EXPECT_TRUE(FileExists(Widen(DataVolume(3))));
}

BackupConfig *stoppedConfig = nullptr;

TEST_F(DiscBurningTest, StopDuringABurnEndsSpanningBeforeTheNextDisc)
{
    int index = AddSpanningJob(100000);
    stoppedConfig = env.Config(index);
    disc.duringBurn = [] { SetCancelRequested(stoppedConfig, 1); };
    ScriptedBoxes boxes({IDOK, IDOK, IDOK});
    EXPECT_EQ(Run(index), 4);
    EXPECT_EQ(disc.discs.size(), 1u);
    EXPECT_EQ(boxes.texts.size(), 1u);
    EXPECT_TRUE(FileExists(Widen(DataVolume(2))));
}

// A failing step of the disc check: the job goes on with the configured destination and ends
// with Warnings.
struct MachineryCase {
    const char *name;
    void (*arrange)(DiscDouble &);
    std::vector<std::string> lines;
};

TEST_F(DiscBurningTest, MachineryFailuresGiveWarningsAndTheConfiguredDestination)
{
    const HRESULT kFail = (HRESULT)0x80004005;
    static HRESULT fail = kFail;
    MachineryCase cases[] = {
        {"burner", [](DiscDouble &d) { d.createBurner = fail; },
         {"WARNING (1): Failed to initialize burning interface (0x80004005)"}},
        {"open drive", [](DiscDouble &d) { d.openDriveError = ERROR_ACCESS_DENIED; },
         {"== start_error", "WARNING: Failed to access drive R"}},
        {"inquiry", [](DiscDouble &d) { d.controlError = ERROR_INVALID_FUNCTION; },
         {"== start_error", "WARNING: Failed to obtain information on drive R"}},
        {"disc master", [](DiscDouble &d) { d.createMaster = fail; },
         {"WARNING: Failed to initialize disc interface (0x80004005)"}},
        {"open master", [](DiscDouble &d) { d.openMaster = fail; },
         {"WARNING: Failed to open disc interface (0x80004005)"}},
        {"enumerator", [](DiscDouble &d) { d.enumRecorders = fail; },
         {"WARNING: Failed to open disc enumerator (0x80004005)"}},
        {"other recorder", [](DiscDouble &d) { d.recorders = {MakeRecorderNames("OTHER", "DVD-RW Writer", "1.0")}; },
         {"WARNING: Enumerated 1 discs.  Failed to find a match for drive R (VLRDISC;DVD-RW WRITER;1.0). (0x00000001)",
          "WARNING: Unable to obtain size of media in drive."}},
        {"names", [](DiscDouble &d) { d.displayNames = fail; },
         {"WARNING: Failed to get information on disc 1 (0x80004005)",
          "WARNING: Enumerated 1 discs.  Failed to find a match for drive R (VLRDISC;DVD-RW WRITER;1.0). (0x80004005)"}},
        {"reserved", [](DiscDouble &d) { d.openExclusive = (HRESULT)0x80040212; },
         {"WARNING: Another application or IMAPI engine has reserved the active disc recorder. Try again later.",
          "WARNING: Unable to obtain size of media in drive R."}},
        {"exclusive", [](DiscDouble &d) { d.openExclusive = fail; },
         {"WARNING: Unknown error trying to open drive.", "WARNING: Unable to obtain size of media in drive R."}},
        {"device gone", [](DiscDouble &d) { d.media = {ScriptedMedia{(HRESULT)0x80040213}}; },
         {"ERROR on QueryMediaType: IMAPI_E_DEVICE_NOTPRESENT", "WARNING: The device is not present.",
          "WARNING: Unable to determine free space of media in drive R. (0x80040213)"}},
        {"media size", [](DiscDouble &d) { d.media = {ScriptedMedia{fail}}; },
         {"ERROR on QueryMediaType: Unknown error.", "WARNING: Unknown error getting media size.",
          "WARNING: Unable to determine free space of media in drive R. (0x80004005)"}},
    };
    WriteTextFile(source + L"a.txt", "alpha");
    gSettings.logVerbose = 1;
    for (const MachineryCase &c : cases) {
        SCOPED_TRACE(c.name);
        DiscDouble fresh;
        fresh.stagingFolder = staging.path;
        c.arrange(fresh);
        int index = AddJob(Uncompressed | Enabled);
        ScriptedBoxes boxes;
        EXPECT_EQ(Run(index), 3) << env.LogText(index);
        for (const std::string &line : c.lines)
            EXPECT_TRUE(Logged(index, line)) << line << "\n" << env.LogText(index);
        EXPECT_TRUE(FileExists(Widen("R:\\Backups\\Nightly\\Job A\\" + MirrorOf("a.txt"))));
        EXPECT_TRUE(fresh.discs.empty());
        EXPECT_TRUE(boxes.texts.empty());
        EXPECT_EQ(fresh.liveObjects, 0);
        RemoveTreeW(L"R:\\Backups");
    }
}

TEST_F(DiscBurningTest, AFailedDiscCheckKeepsAnEarlyEndAtWarnings)
{
    WriteTextFile(L"R:\\blocked", "a file where the folder should be");
    disc.createMaster = E_FAIL;
    int index = AddJob(Uncompressed | Enabled, "R:\\blocked\\sub\\");
    EXPECT_EQ(Run(index), 3) << env.LogText(index);
    DeleteFileW(L"R:\\blocked");
    // Without the disc check's failure the same end is Failed.
    gSettings.weBurn = 0;
    WriteTextFile(L"R:\\blocked", "a file where the folder should be");
    index = AddJob(Uncompressed | Enabled, "R:\\blocked\\sub\\");
    EXPECT_EQ(Run(index), 2) << env.LogText(index);
    DeleteFileW(L"R:\\blocked");
}

TEST_F(DiscBurningTest, NoDiscRoadWithoutTheOptionAUserStartOrTheRecorder)
{
    WriteTextFile(source + L"a.txt", "alpha");
    struct Case {
        const char *name;
        int weBurn;
        int manual;
        void (*arrange)(DiscDouble &);
        const char *line;
        bool platformUsed;
    } cases[] = {
        {"option off", 0, 1, [](DiscDouble &) {}, nullptr, false},
        {"scheduled", 1, 0, [](DiscDouble &) {}, nullptr, false},
        {"no recordable drive", 1, 1, [](DiscDouble &d) { d.recordableDrive = FALSE; },
         "INFO: Unable to find a recordable drive (0x00000000)", true},
        {"no letter", 1, 1, [](DiscDouble &d) { d.recorderLetter = E_FAIL; },
         "INFO: Unable to find default recording drive letter (0x80004005)", true},
        {"other recorder", 1, 1, [](DiscDouble &d) { d.recorderRoot = L"s:\\"; },
         "INFO: Drive S is the default recordable drive, and the only one Velloran can write directly to.", true},
        {"no staging folder", 1, 1, [](DiscDouble &d) { d.stagingFolder.clear(); },
         "WARNING: Unable to find burn folder: ", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DiscDouble fresh;
        fresh.stagingFolder = staging.path;
        c.arrange(fresh);
        gSettings.weBurn = c.weBurn;
        int index = AddJob(Uncompressed | Enabled);
        SetManuallyStarted(env.Config(index), c.manual);
        EXPECT_EQ(Run(index), 1) << env.LogText(index);
        if (c.line != nullptr) {
            EXPECT_TRUE(Logged(index, c.line)) << env.LogText(index);
        }
        if (fresh.recorderRoot == L"s:\\") {
            EXPECT_TRUE(Logged(index, "INFO: You can still backup to other CD/DVD drives by utilizing your own "
                                      "burning software.  See the online help for more details."));
        }
        EXPECT_EQ(!fresh.calls.empty(), c.platformUsed);
        EXPECT_TRUE(FileExists(Widen("R:\\Backups\\Nightly\\Job A\\" + MirrorOf("a.txt"))));
        EXPECT_TRUE(fresh.discs.empty());
        EXPECT_EQ(fresh.CountCalls("OpenDrive R"), 0);
        EXPECT_EQ(fresh.liveObjects, 0);
        RemoveTreeW(L"R:\\Backups");
    }
}

TEST_F(DiscBurningTest, DestinationOffTheCdDriveNeverTouchesThePlatform)
{
    WriteTextFile(source + L"a.txt", "alpha");
    int index = AddJob(Uncompressed | Enabled, env.work.path + "dest\\");
    EXPECT_EQ(Run(index), 1);
    EXPECT_TRUE(disc.calls.empty());
}

TEST_F(DiscBurningTest, DestinationWithoutABackslashOrTooLongForTheStagingFolderAborts)
{
    {
        int index = AddJob(Uncompressed | Enabled, "R:");
        EXPECT_EQ(Run(index), 4);
        EXPECT_TRUE(Logged(index, "ERROR (47b): Missing backslash in destination: R:"));
    }
    {
        std::string longPath = "R:\\" + std::string(250, 'd') + "\\";
        int index = AddJob(Uncompressed | Enabled, longPath);
        EXPECT_EQ(Run(index), 4);
        EXPECT_EQ(CountLinesStartingWith(env.LogLines(index), "WARNING: Path too long: "), 1);
    }
    EXPECT_TRUE(disc.discs.empty());
}

TEST(DiscInquiry, NamesComeFromTheInquiryDataWithoutTrailingWhiteSpace)
{
    uint8_t block[kInquiryBlockSize];
    BuildDriveInquiry(block);
    memcpy(block + 80 + 8, "ACME \t  ", 8);
    memcpy(block + 80 + 16, "Burner 52x\r\n    ", 16);
    memcpy(block + 80 + 32, "B1  ", 4);
    memcpy(block + 80 + 36, "XYZ", 3);  // vendor-specific bytes after the revision
    RecorderNames names;
    ReadDriveInquiry(block, &names);
    EXPECT_STREQ(names.vendor, "ACME");
    EXPECT_STREQ(names.product, "Burner 52x");
    EXPECT_STREQ(names.revision, "B1");
}

TEST(DiscSizes, UsableBytesAndTheVolumeSwitchOfASpanningRun)
{
    EXPECT_DOUBLE_EQ(UsableDiscBytes(1000000), 2027520000.0);
    JobContext context = {};
    context.burnToDisc = 1;
    context.spanDiscs = 1;
    context.discFreeBytes = UsableDiscBytes(1000000);
    char volumeSwitch[64];
    BuildVolumeSwitch(&context, volumeSwitch);
    EXPECT_STREQ(volumeSwitch, "-v2027520000b ");
}

}  // namespace
