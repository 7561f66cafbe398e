// kv64dll driven in-process by this 32-bit program: the request file it writes, a host that
// cannot be started, a stale reply, the release, and the whole 64-bit road (kv64dll ->
// kv64wrap -> kv_vss64 with its test double) under WoW64.
#include <windows.h>
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>

#include "ShadowCopyRequest.h"
#include "ShadowTestSupport.h"

namespace {

const DWORD kCallLimitMs = 60000;

struct CallState {
    MakeShadowCopyProc proc;
    ShadowCopyRequest *request;
    int32_t result;
};

DWORD WINAPI CallMakeShadowCopy(LPVOID parameter)
{
    CallState *state = static_cast<CallState *>(parameter);
    state->result = state->proc(state->request);
    return 0;
}

class Bridge : public ::testing::Test {
protected:
    void SetUp() override
    {
        data_ = DataFolder();
        for (const char *name : {"VSScom1.txt", "VSScom2.txt", "VSScom3.txt", "VSSLog.txt",
                                 "VSSLog1.txt", "VSSLog2.txt"})
            DeleteFileA((data_ + name).c_str());
        GetCurrentDirectoryA(sizeof savedFolder_, savedFolder_);
        library_ = LoadLibraryA(BinPath("kv64dll.dll").c_str());
        ASSERT_NE(library_, nullptr);
        state_.proc = reinterpret_cast<MakeShadowCopyProc>(
            reinterpret_cast<void *>(GetProcAddress(library_, "MakeShadowCopy")));
        ASSERT_NE(state_.proc, nullptr);
        target_ = FindFreeLetter();
        ASSERT_NE(target_, 0);
        FillRequest(data_ + "VSSLog.txt");
        // The bridge finds the host beside the main program or in the current folder: there
        // the host as shipped, with the library's double beside it.
        ASSERT_FALSE(ShadowDoubleFolder().empty());
        SetCurrentDirectoryA(ShadowDoubleFolder().c_str());
    }

    void TearDown() override
    {
        if (thread_ != nullptr) {
            StoreRelease();
            WaitForSingleObject(thread_, kCallLimitMs);
            CloseHandle(thread_);
        }
        SetCurrentDirectoryA(savedFolder_);
        if (library_ != nullptr)
            FreeLibrary(library_);
    }

    void FillRequest(const std::string &logPath)
    {
        memset(&request_, 0, sizeof request_);
        request_.targetLetters[0] = (wchar_t)target_;
        request_.sourceLetters[0] = L'C';
        MultiByteToWideChar(CP_ACP, 0, logPath.c_str(), -1, request_.logPath, 260);
        request_.verbose = 1;
        request_.releaseRequest = 0;
        request_.status = -1;
        request_.active = 1;
    }

    void Start()
    {
        state_.request = &request_;
        state_.result = -99;
        thread_ = CreateThread(nullptr, 0, CallMakeShadowCopy, &state_, 0, nullptr);
        ASSERT_NE(thread_, nullptr);
    }
    bool Finished(DWORD timeoutMs) { return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }
    bool WaitForStatus()
    {
        return WaitUntil([&] { return InterlockedCompareExchange((volatile LONG *)&request_.status, 0, 0) != -1; },
                         kCallLimitMs);
    }
    void StoreRelease() { InterlockedExchange((volatile LONG *)&request_.releaseRequest, 1); }
    std::string OwnLog() { return ReadWholeFile(data_ + "VSSLog1.txt"); }
    bool OwnLogHas(const std::string &line) { return OwnLog().find(line + "\r\n") != std::string::npos; }

    std::string data_;
    char savedFolder_[MAX_PATH] = "";
    HMODULE library_ = nullptr;
    HANDLE thread_ = nullptr;
    CallState state_ = {};
    ShadowCopyRequest request_;
    char target_ = 0;
};

TEST_F(Bridge, WritesTheRequestFileLineByLineAndReportsAFailingHostAsFour)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "fail:7");
    Start();
    ASSERT_TRUE(Finished(kCallLimitMs));
    std::string expected = data_ + "VSSLog2.txt\r\n" + data_ + "VSScom1.txt\r\n" + data_ + "VSScom2.txt\r\n" +
                           data_ + "VSScom3.txt\r\n" + std::string(1, target_) + "\r\nC\r\n" + data_ +
                           "VSSLog.txt\r\n1\r\n0\r\n-1\r\n1\r\n";
    EXPECT_EQ(ReadWholeFile(data_ + "VSScom1.txt"), expected);
    EXPECT_EQ(state_.result, 4);
    EXPECT_EQ(request_.status, 4);
    EXPECT_EQ(request_.active, 0);
    EXPECT_TRUE(OwnLogHas("Writing of first communication file complete: " + data_ + "VSScom1.txt")) << OwnLog();
    EXPECT_TRUE(OwnLogHas("Launched kv64wrap.exe"));
    EXPECT_TRUE(OwnLogHas("kv64wrap.exe failed (1)")) << OwnLog();
    EXPECT_FALSE(FileExists(data_ + "VSScom2.txt"));
}

TEST_F(Bridge, ReplyPlantedWhileTheHostFailsIsNoSuccess)
{
    // Any program of the user's can write the reply file: while the host fails (after a while,
    // so that the planted reply is there first), a loop keeps writing "0" into it.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "fail:5:1500");
    std::atomic<bool> stop(false);
    std::thread planter([&] {
        while (!stop) {
            WriteWholeFile(data_ + "VSScom2.txt", "0\r\n");
            Sleep(10);
        }
    });
    Start();
    bool reported = WaitForStatus();
    stop = true;
    planter.join();
    ASSERT_TRUE(reported);
    EXPECT_EQ(request_.status, 4) << OwnLog();
    StoreRelease();
    ASSERT_TRUE(Finished(kCallLimitMs));
    EXPECT_TRUE(OwnLogHas("kv64wrap.exe failed (1)")) << OwnLog();
}

TEST_F(Bridge, HostThatCannotBeStartedIsFour)
{
    SetCurrentDirectoryA(MakeTempFolder("vss-no-host").c_str());
    Start();
    ASSERT_TRUE(Finished(kCallLimitMs));
    EXPECT_EQ(state_.result, 4);
    EXPECT_EQ(request_.status, 4);
    EXPECT_EQ(request_.active, 0);
    EXPECT_TRUE(OwnLogHas("Failed to launch kv64wrap.exe")) << OwnLog();
    EXPECT_TRUE(FileExists(data_ + "VSScom1.txt"));
}

TEST_F(Bridge, StaleExchangeFilesAndLibraryLogAreClearedFirst)
{
    ASSERT_TRUE(WriteWholeFile(data_ + "VSScom2.txt", "0\r\n"));
    ASSERT_TRUE(WriteWholeFile(data_ + "VSScom3.txt", "1\r\n"));
    ASSERT_TRUE(WriteWholeFile(data_ + "VSSLog.txt", "stale library log\r\n"));
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "fail:7");
    Start();
    ASSERT_TRUE(Finished(kCallLimitMs));
    EXPECT_EQ(request_.status, 4) << "the old reply must not be read";
    EXPECT_FALSE(FileExists(data_ + "VSScom3.txt"));
    EXPECT_EQ(ReadWholeFile(data_ + "VSSLog.txt").find("stale"), std::string::npos);
}

TEST_F(Bridge, FullRoadExposesTheCopyUntilTheRelease)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:200");
    Start();
    ASSERT_TRUE(WaitForStatus()) << OwnLog();
    EXPECT_EQ(request_.status, 0) << OwnLog();
    EXPECT_EQ(request_.active, 1);
    EXPECT_TRUE(CanListRoot(target_, "windows")) << "the shadow letter is readable from this process";
    Sleep(300);
    EXPECT_FALSE(Finished(0)) << "the bridge holds the copies until the release request";

    StoreRelease();
    ASSERT_TRUE(Finished(kCallLimitMs));
    EXPECT_EQ(state_.result, 0);
    EXPECT_EQ(request_.status, 0);
    EXPECT_EQ(request_.active, 0);
    EXPECT_FALSE(CanListRoot(target_, "windows"));
    EXPECT_EQ(ReadWholeFile(data_ + "VSScom3.txt"), "1\r\n");
    EXPECT_TRUE(OwnLogHas("kv64wrap.exe updated status: 0")) << OwnLog();
    EXPECT_TRUE(OwnLogHas("Parent is done with volume shadow(s)"));
    EXPECT_TRUE(OwnLogHas("Writing of third communication file complete: " + data_ + "VSScom3.txt"));
    EXPECT_TRUE(OwnLogHas("kv64wrap.exe completed with exit code: 0")) << OwnLog();
    EXPECT_NE(ReadWholeFile(data_ + "VSSLog2.txt").find("Successfully released shadow volume(s)"),
              std::string::npos);
}

TEST_F(Bridge, ReleaseNoticeThatCannotBeWrittenEndsTheHost)
{
    ASSERT_TRUE(CreateDirectoryA((data_ + "VSScom3.txt").c_str(), nullptr));
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    Start();
    ASSERT_TRUE(WaitForStatus());
    EXPECT_EQ(request_.status, 0);
    StoreRelease();
    bool finished = Finished(kCallLimitMs);
    RemoveDirectoryA((data_ + "VSScom3.txt").c_str());
    ASSERT_TRUE(finished);
    EXPECT_EQ(request_.status, 0);
    EXPECT_EQ(request_.active, 0);
    EXPECT_TRUE(OwnLogHas("Error 317")) << OwnLog();
    EXPECT_TRUE(OwnLogHas("ERROR: Ended kv64wrap.exe without a release notice, exit code: 1")) << OwnLog();
}

TEST_F(Bridge, RequestFileThatCannotBeWrittenIsError316)
{
    ASSERT_TRUE(CreateDirectoryA((data_ + "VSScom1.txt").c_str(), nullptr));
    Start();
    bool finished = Finished(kCallLimitMs);
    RemoveDirectoryA((data_ + "VSScom1.txt").c_str());
    ASSERT_TRUE(finished);
    EXPECT_EQ(request_.status, 4);
    EXPECT_EQ(request_.active, 0);
    EXPECT_EQ(OwnLog(), "Error 316\r\n");
}

TEST_F(Bridge, LogPathWithoutTheLogNameIsFourWithoutAnyFile)
{
    FillRequest(data_ + "Other.txt");
    Start();
    ASSERT_TRUE(Finished(kCallLimitMs));
    EXPECT_EQ(state_.result, 4);
    EXPECT_EQ(request_.active, 0);
    EXPECT_FALSE(FileExists(data_ + "VSSLog1.txt"));
    EXPECT_FALSE(FileExists(data_ + "VSScom1.txt"));
}

TEST(BridgeModule, MakeShadowCopyIsOrdinalOne)
{
    HMODULE library = LoadLibraryA(BinPath("kv64dll.dll").c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetProcAddress(library, MAKEINTRESOURCEA(1)), GetProcAddress(library, "MakeShadowCopy"));
    FreeLibrary(library);
}

}  // namespace
