// kv_vss.dll in-process: the shipped library, under Wine (no shadow-copy service), fails
// cleanly whatever the environment says; its test double exposes the source at the target
// letter until the release.
#include <windows.h>
#include <gtest/gtest.h>
#include <string>

#include "ShadowCopyRequest.h"
#include "ShadowTestSupport.h"

namespace {

const DWORD kCallLimitMs = 60000;

struct LibraryCall {
    MakeShadowCopyProc proc;
    ShadowCopyRequest *request;
    int32_t result;
};

DWORD WINAPI RunLibraryCall(LPVOID parameter)
{
    LibraryCall *call = static_cast<LibraryCall *>(parameter);
    call->result = call->proc(call->request);
    return 0;
}

class Library : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath_ = MakeTempFolder("vss-library") + "VSSLog.txt";
        target_ = FindFreeLetter();
        ASSERT_NE(target_, 0);
        Fill(std::string(1, target_), "C");
    }
    void TearDown() override
    {
        if (thread_ != nullptr) {
            InterlockedExchange((volatile LONG *)&request_.releaseRequest, 1);
            WaitForSingleObject(thread_, kCallLimitMs);
            CloseHandle(thread_);
        }
        // Never unload while the call may still run in the library.
        if (library_ != nullptr && (thread_ == nullptr || WaitForSingleObject(thread_, 0) != WAIT_TIMEOUT))
            FreeLibrary(library_);
    }

    // The shipped library, or its double from the doubles' own folder.
    void Load(const std::string &path)
    {
        library_ = LoadLibraryA(path.c_str());
        ASSERT_NE(library_, nullptr) << path;
        call_.proc = reinterpret_cast<MakeShadowCopyProc>(
            reinterpret_cast<void *>(GetProcAddress(library_, "MakeShadowCopy")));
        ASSERT_NE(call_.proc, nullptr);
    }
    void Fill(const std::string &targets, const std::string &sources)
    {
        memset(&request_, 0, sizeof request_);
        MultiByteToWideChar(CP_ACP, 0, targets.c_str(), -1, request_.targetLetters, 65);
        MultiByteToWideChar(CP_ACP, 0, sources.c_str(), -1, request_.sourceLetters, 65);
        MultiByteToWideChar(CP_ACP, 0, logPath_.c_str(), -1, request_.logPath, 260);
        request_.status = -1;
        request_.active = 1;
    }
    void Start()
    {
        call_.request = &request_;
        thread_ = CreateThread(nullptr, 0, RunLibraryCall, &call_, 0, nullptr);
        ASSERT_NE(thread_, nullptr);
    }
    bool Finished(DWORD timeoutMs) { return WaitForSingleObject(thread_, timeoutMs) == WAIT_OBJECT_0; }
    std::string Log() { return ReadWholeFile(logPath_); }

    HMODULE library_ = nullptr;
    HANDLE thread_ = nullptr;
    LibraryCall call_ = {};
    ShadowCopyRequest request_;
    std::string logPath_;
    char target_ = 0;
};

TEST_F(Library, WithoutAShadowCopyServiceFailsCleanlyWithALogLine)
{
    // The double's setting means nothing to the shipped library.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    ASSERT_NO_FATAL_FAILURE(Load(BinPath("kv_vss.dll")));
    Start();
    ASSERT_TRUE(Finished(kCallLimitMs)) << "the library must not hang where the service is missing";
    EXPECT_NE(request_.status, 0);
    EXPECT_NE(request_.status, -1);
    EXPECT_EQ(call_.result, request_.status);
    EXPECT_EQ(request_.active, 0);
    EXPECT_NE(Log().find("ERROR: "), std::string::npos) << Log();
    EXPECT_FALSE(CanListRoot(target_, "windows"));
}

TEST_F(Library, DoubleExposesTheSourceUntilTheReleaseAndKeepsTheCurrentFolder)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:50");
    ASSERT_NO_FATAL_FAILURE(Load(TestDoublePath("kv_vss.dll")));
    std::string folder = MakeTempFolder("vss-library-cwd");
    ASSERT_TRUE(SetCurrentDirectoryA(folder.c_str()));
    Start();
    ASSERT_TRUE(WaitUntil([&] { return InterlockedCompareExchange((volatile LONG *)&request_.status, 0, 0) != -1; },
                          kCallLimitMs));
    EXPECT_EQ(request_.status, 0) << Log();
    EXPECT_TRUE(CanListRoot(target_, "windows"));
    EXPECT_EQ(request_.active, 1);
    InterlockedExchange((volatile LONG *)&request_.releaseRequest, 1);
    ASSERT_TRUE(Finished(kCallLimitMs));
    EXPECT_EQ(call_.result, 0);
    EXPECT_EQ(request_.active, 0);
    EXPECT_FALSE(CanListRoot(target_, "windows"));
    char now[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof now, now);
    EXPECT_EQ(std::string(now) + "\\", folder) << "the library moved the caller's current folder";
}

struct FailureCase {
    const char *setting;  // null: none
    const char *targets;  // "*": a free letter
    const char *sources;
    int32_t status;
};

TEST_F(Library, FailuresReportTheirStatusAndEndInactive)
{
    const FailureCase cases[] = {
        {"fail:9", "*", "C", 9},
        {"ok:0", "C", "Z", 5},    // the target letter is in use
        {"ok:0", "*", "", 2},     // no volumes
        {"ok:0", "EF", "C", 2},   // letters do not pair up
        {"ok:0", "*", "c", 2},    // not an upper-case letter
        {"sometimes", "*", "C", 2},
        {nullptr, "", "", 2},
    };
    ASSERT_NO_FATAL_FAILURE(Load(TestDoublePath("kv_vss.dll")));
    for (const FailureCase &c : cases) {
        ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", c.setting);
        std::string targets = std::string(c.targets) == "*" ? std::string(1, target_) : c.targets;
        Fill(targets, c.sources);
        Start();
        ASSERT_TRUE(Finished(kCallLimitMs));
        CloseHandle(thread_);
        thread_ = nullptr;
        EXPECT_EQ(request_.status, c.status) << (c.setting ? c.setting : "no setting") << " " << targets;
        EXPECT_EQ(request_.active, 0);
        EXPECT_NE(Log().find("ERROR: "), std::string::npos) << Log();
    }
}

}  // namespace
