// The real disc platform under Wine, which registers neither burning class and whose
// folder-backed drives answer no SCSI request: each failure reaches the log as on a machine
// without a recorder.
#include <gtest/gtest.h>

#include <objbase.h>

#include "ConfigRuntime.h"
#include "DiscBurning.h"
#include "DiscPlatform.h"
#include "DriveInquiry.h"
#include "JobTestSupport.h"

namespace {

class ComApartment {
public:
    ComApartment() : result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(result))
            CoUninitialize();
    }
    HRESULT result;
};

TEST(RealDiscPlatform, UnregisteredClassesAndAFolderDriveFailCleanly)
{
    ComApartment com;
    DiscPlatform &platform = RealDiscPlatform();
    std::unique_ptr<CdBurner> burner;
    std::unique_ptr<DiscMaster> master;
    EXPECT_TRUE(FAILED(platform.CreateCdBurner(&burner)));
    EXPECT_FALSE(burner);
    EXPECT_TRUE(FAILED(platform.CreateDiscMaster(&master)));
    EXPECT_FALSE(master);

    ScratchFolder logs;
    std::wstring logPath = logs.Wide() + L"log.txt";
    FILE *log = _wfopen(logPath.c_str(), L"wt");
    ASSERT_NE(log, nullptr);
    RecorderNames names = {};
    int identified = IdentifyDiscDrive(platform, 'R', &names, log);
    fclose(log);
    EXPECT_EQ(identified, 0);
    std::vector<std::string> lines = SplitLines(ReadTextFile(logPath));
    EXPECT_TRUE(HasLine(lines, "WARNING: Failed to access drive R") ||
                HasLine(lines, "WARNING: Failed to obtain information on drive R"))
        << ReadTextFile(logPath);
    EXPECT_EQ(CountLinesStartingWith(lines, "== start_error"), 1);
}

TEST(RealDiscPlatform, AUserStartedJobToTheCdDriveWarnsAndWritesToTheDestination)
{
    SetDiscPlatform(nullptr);
    JobTestEnvironment env;
    std::wstring source = env.work.Wide() + L"src\\";
    MakeFolder(source);
    WriteTextFile(source + L"a.txt", "alpha");
    RemoveTreeW(L"R:\\RealRoad");
    int index = env.AddConfig("Job A", "R:\\RealRoad\\", {Narrow(source)}, Uncompressed | Enabled);
    SetManuallyStarted(env.Config(index), 1);
    EXPECT_EQ(env.RunJob(index), 3) << env.LogText(index);
    EXPECT_TRUE(HasLine(env.LogLines(index), "WARNING (1): Failed to initialize burning interface (0x80040154)"))
        << env.LogText(index);
    EXPECT_TRUE(FileExists(L"R:\\RealRoad\\Job A"));
    RemoveTreeW(L"R:\\RealRoad");
}

TEST(RealDiscPlatform, BurningWithoutTheShellsClassFails)
{
    ComApartment com;
    ScratchFolder logs;
    std::wstring logPath = logs.Wide() + L"log.txt";
    FILE *log = _wfopen(logPath.c_str(), L"wt");
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(BurnStagingArea(log), 0);
    fclose(log);
    EXPECT_TRUE(HasLine(SplitLines(ReadTextFile(logPath)), "ERROR (2): Failed to initialize burning interface (0x80040154)"));
}

}  // namespace
