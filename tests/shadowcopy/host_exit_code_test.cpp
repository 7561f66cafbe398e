// kv64wrap.exe on its own, driven by hand-made request files in the data folder: every exit
// code of the host, with the library's test double beside it standing in for the shadow-copy
// service, and the tests' build of the host with one-second waits for a library that hangs.
#include <windows.h>
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>

#include "ShadowTestSupport.h"

namespace {

const DWORD kRunLimitMs = 60000;

// The release notice, written as the bridge writes it: the host polls the file in a mode that
// refuses writers while it reads, so a write that lands inside a read is tried again.
bool WriteNotice(const std::string &path, const char *text)
{
    return WaitUntil([&] { return WriteWholeFile(path, text); }, 2000);
}

struct RequestFields {
    std::string ownLog, request, reply, release, targets, sources, libraryLog;
    std::string verbose = "0", releaseRequest = "0", status = "-1", active = "1";
};

std::string RequestText(const RequestFields &f, int lines = 11)
{
    const std::string values[] = {f.ownLog, f.request, f.reply, f.release, f.targets, f.sources,
                                  f.libraryLog, f.verbose, f.releaseRequest, f.status, f.active};
    std::string text;
    for (int i = 0; i < lines; i++)
        text += values[i] + "\r\n";
    return text;
}

// A host process the test watches while it runs.
class HostProcess {
public:
    ~HostProcess()
    {
        if (info_.hProcess != nullptr) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
            CloseHandle(info_.hProcess);
            CloseHandle(info_.hThread);
        }
    }
    bool Start(const std::string &path)
    {
        std::string cmd = "\"" + path + "\"";
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        return CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &info_) != FALSE;
    }
    bool Running() { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
    // The exit code, or -2 when the host did not end within timeoutMs.
    int Wait(DWORD timeoutMs)
    {
        if (WaitForSingleObject(info_.hProcess, timeoutMs) != WAIT_OBJECT_0)
            return -2;
        DWORD code = 0;
        GetExitCodeProcess(info_.hProcess, &code);
        return (int)code;
    }

private:
    PROCESS_INFORMATION info_ = {};
};

class HostExitCode : public ::testing::Test {
protected:
    void SetUp() override
    {
        data_ = DataFolder();
        for (const char *name : {"VSScom1.txt", "VSScom2.txt", "VSScom3.txt", "VSSLog.txt",
                                 "VSSLog1.txt", "VSSLog2.txt"})
            DeleteFileA((data_ + name).c_str());
        target_ = FindFreeLetter();
        ASSERT_NE(target_, 0);
        ASSERT_FALSE(ShadowDoubleFolder().empty());
        fields_.ownLog = data_ + "VSSLog2.txt";
        fields_.request = data_ + "VSScom1.txt";
        fields_.reply = data_ + "VSScom2.txt";
        fields_.release = data_ + "VSScom3.txt";
        fields_.targets = std::string(1, target_);
        fields_.sources = "C";
        fields_.libraryLog = data_ + "VSSLog.txt";
    }

    void WriteRequest(int lines = 11)
    {
        ASSERT_TRUE(WriteWholeFile(fields_.request, RequestText(fields_, lines)));
    }
    std::string HostLog() { return ReadWholeFile(data_ + "VSSLog2.txt"); }  // whatever line 1 says
    std::string LibraryLog() { return ReadWholeFile(fields_.libraryLog); }
    static std::string Host() { return ShadowDoubleFolder() + "kv64wrap.exe"; }
    static std::string HostWithShortWaits() { return ShadowDoubleFolder() + "kv64wrap_short_waits.exe"; }
    int RunHost() { return RunProgram(Host(), kRunLimitMs); }
    bool TargetReadable() { return CanListRoot(target_, "windows"); }

    std::string data_;
    char target_ = 0;
    RequestFields fields_;
};

TEST_F(HostExitCode, NoRequestFileIsFour)
{
    EXPECT_EQ(RunHost(), 4);
}

TEST_F(HostExitCode, EachMissingLineIsFourPlusItsNumber)
{
    for (int lines = 0; lines < 11; lines++) {
        WriteRequest(lines);
        EXPECT_EQ(RunHost(), 5 + lines) << lines << " lines";
        EXPECT_FALSE(FileExists(fields_.ownLog)) << "nothing is logged before the request is read";
    }
}

TEST_F(HostExitCode, OwnLogThatCannotBeCreatedIsSixteen)
{
    ASSERT_TRUE(CreateDirectoryA(fields_.ownLog.c_str(), nullptr));
    WriteRequest();
    int code = RunHost();
    RemoveDirectoryA(fields_.ownLog.c_str());
    EXPECT_EQ(code, 16);
}

TEST_F(HostExitCode, TrailingBlanksAfterTheLogPathAreNotPartOfIt)
{
    std::string ownLog = fields_.ownLog;
    fields_.ownLog += " \t \r";
    fields_.targets = "";  // the library then refuses at once
    WriteRequest();
    EXPECT_EQ(RunHost(), 1);
    EXPECT_NE(ReadWholeFile(ownLog).find("ERROR: Unable to create shadow copy."), std::string::npos);
}

// A path of exactly `length` characters in a folder that exists.
std::string PathOfLength(size_t length, const std::string &name)
{
    std::string folder = MakeTempFolder("vss-long-lines") + std::string(100, 'd') + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    folder += std::string(100, 'e') + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string path = folder + name;
    path.insert(path.size() - 4, length - path.size(), 'x');  // before the ".txt"
    return path;
}

TEST_F(HostExitCode, RequestLineLongerThan259CharactersIsMalformedNotShifted)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    // 259 characters are read whole: the host goes on with the request.
    fields_.request = PathOfLength(259, "VSScom1.txt");
    ASSERT_TRUE(WriteWholeFile(data_ + "VSScom1.txt", RequestText(fields_)));
    {
        HostProcess host;
        ASSERT_TRUE(host.Start(Host()));
        ASSERT_TRUE(WaitUntil([&] { return FileExists(fields_.reply) || !host.Running(); }, kRunLimitMs));
        ASSERT_TRUE(host.Running()) << HostLog();
        EXPECT_TRUE(TargetReadable());
        ASSERT_TRUE(WriteNotice(fields_.release, "1\n"));
        EXPECT_EQ(host.Wait(kRunLimitMs), 0) << HostLog();
        EXPECT_FALSE(TargetReadable());
    }

    // One more character on line 4, or on line 1: exit 18 before anything is loaded; the own
    // log, which lies in the data folder whatever line 1 says, names the line.
    struct Case {
        std::string RequestFields::*field;
        int line;
    };
    const Case cases[] = {
        {&RequestFields::release, 4},
        {&RequestFields::ownLog, 1},
    };
    for (const Case &c : cases) {
        SetUp();
        fields_.*c.field = PathOfLength(260, "VSSLog.txt");
        WriteRequest();
        EXPECT_EQ(RunHost(), 18) << "line " << c.line;
        EXPECT_FALSE(FileExists(fields_.libraryLog)) << "line " << c.line << ": the library was loaded";
        EXPECT_FALSE(FileExists(fields_.reply));
        std::string expected = "ERROR: Line " + std::to_string(c.line) + " of " + fields_.request +
                               " is longer than 259 characters; the request is not carried out\r\n";
        EXPECT_EQ(HostLog(), expected) << "line " << c.line;
    }
}

TEST_F(HostExitCode, RequestNamingAnyOtherFileIsRefusedBeforeAnythingIsOpened)
{
    // The host runs elevated and the user writes the request: whatever it names, the host
    // creates, truncates or writes no file but its own log, and loads nothing.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    std::string outside = MakeTempFolder("vss-host-outside");
    std::string volume = "Z:\\tmp\\velloran-host-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(volume.c_str(), nullptr);
    struct Case {
        std::string RequestFields::*field;
        int line;
        std::string path;
        bool existing;  // made beforehand; it must keep its content
    };
    const Case cases[] = {
        {&RequestFields::ownLog, 1, outside + "VSSLog2.txt", true},
        {&RequestFields::reply, 3, outside + "VSScom2.txt", true},
        {&RequestFields::release, 4, outside + "VSScom3.txt", true},
        {&RequestFields::libraryLog, 7, outside + "VSSLog.txt", true},
        {&RequestFields::reply, 3, data_ + "configs.vlr", true},
        {&RequestFields::ownLog, 1, data_ + "..\\VSSLog2.txt", true},
        {&RequestFields::reply, 3, data_ + "sub\\..\\VSScom2.txt", false},
        {&RequestFields::reply, 3, volume + "VSScom2.txt", true},
        {&RequestFields::ownLog, 1, data_ + "CON", false},
        {&RequestFields::reply, 3, data_ + "NUL.txt", false},
        {&RequestFields::reply, 3, "\\\\.\\pipe\\velloran-reply", false},
        {&RequestFields::libraryLog, 7, "\\\\?\\" + data_ + "VSSLog.txt", false},
        {&RequestFields::reply, 3, "\\\\localhost\\C$\\VSScom2.txt", false},
        {&RequestFields::reply, 3, data_ + "VSScom2.txt:stream", false},
        {&RequestFields::ownLog, 1, data_ + "VSSLog2.txt.", false},
        {&RequestFields::ownLog, 1, "VSSLog2.txt", false},
        {&RequestFields::reply, 3, data_.substr(0, data_.size() - 1) + "/VSScom2.txt", false},
    };
    for (const Case &c : cases) {
        SetUp();
        fields_.*c.field = c.path;
        WriteRequest();
        ASSERT_TRUE(!c.existing || WriteWholeFile(c.path, "precious")) << c.path;
        ASSERT_TRUE(WriteWholeFile(data_ + "VSScom3.txt", "1\r\n"));  // a host that went on would end at once
        EXPECT_EQ(RunHost(), 18) << c.path;
        EXPECT_TRUE(!c.existing || ReadWholeFile(c.path) == "precious") << c.path;
        EXPECT_FALSE(FileExists(data_ + "VSScom2.txt") || FileExists(data_ + "VSSLog.txt")) << c.path;
        std::string why = "ERROR: Line " + std::to_string(c.line) + " of " + fields_.request +
                          " names a file other than " + data_;
        EXPECT_EQ(HostLog().rfind(why, 0), 0u) << c.path << ": " << HostLog();
        if (c.existing)
            DeleteFileA(c.path.c_str());
    }
    RemoveDirectoryA(volume.c_str());
}

TEST_F(HostExitCode, FilesAreMadeAnewNotWrittenThroughLinksLeftAtTheirNames)
{
    // Hard links the user left in the data folder would carry the elevated host's writes into
    // the files they share their content with.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    std::string outside = MakeTempFolder("vss-host-linked");
    const char *const names[] = {"VSSLog2.txt", "VSScom2.txt", "VSSLog.txt"};
    for (const char *name : names) {
        ASSERT_TRUE(WriteWholeFile(outside + name, "precious"));
        ASSERT_TRUE(CreateHardLinkA((data_ + name).c_str(), (outside + name).c_str(), nullptr)) << GetLastError();
    }
    WriteRequest();
    ASSERT_TRUE(WriteWholeFile(fields_.release, "1\r\n"));
    EXPECT_EQ(RunHost(), 0) << HostLog();
    for (const char *name : names) {
        EXPECT_EQ(ReadWholeFile(outside + name), "precious") << name;
        EXPECT_NE(ReadWholeFile(data_ + name).find('\n'), std::string::npos) << name;
    }
}

TEST_F(HostExitCode, HardLinkRemadeAtTheLibraryLogNeverReachesItsFile)
{
    // A program of the user's re-makes the link as fast as it can, in the moments between the
    // host's look at the name and the library's write: the file it leads to keeps its content
    // every time, and the host either carries the request out or refuses it.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    std::string victim = MakeTempFolder("vss-host-race") + "victim.txt";
    ASSERT_TRUE(WriteWholeFile(victim, "precious"));
    std::atomic<bool> stop(false);
    std::thread linker([&] {
        while (!stop) {
            DeleteFileA(fields_.libraryLog.c_str());
            CreateHardLinkA(fields_.libraryLog.c_str(), victim.c_str(), nullptr);
        }
    });
    for (int round = 0; round < 12; round++) {
        WriteRequest();
        ASSERT_TRUE(WriteWholeFile(fields_.release, "1\r\n"));
        int code = RunHost();
        EXPECT_TRUE(code == 0 || code == 18) << "round " << round << ": " << code << "\n" << HostLog();
        // The linker's own deletes hold the file now and then, and a read then fails: read again.
        EXPECT_TRUE(WaitUntil([&] { return ReadWholeFile(victim) == "precious"; }, 2000)) << "round " << round;
    }
    stop = true;
    linker.join();
}

TEST_F(HostExitCode, LibraryMissingBesideTheHostIsOne)
{
    std::string folder = MakeTempFolder("vss-host-alone");
    ASSERT_TRUE(CopyFileA(BinPath("kv64wrap.exe").c_str(), (folder + "kv64wrap.exe").c_str(), FALSE));
    WriteRequest();
    EXPECT_EQ(RunProgram(folder + "kv64wrap.exe", kRunLimitMs), 1);
    EXPECT_NE(HostLog().find("ERROR: Unable to load DLL for backing up locked/open files.  VSS library: " +
                             folder + "kv_vss64.dll\r\n"),
              std::string::npos)
        << HostLog();
}

TEST_F(HostExitCode, LibraryWithoutTheExportIsOne)
{
    // A module without MakeShadowCopy: the host's own image loads as a library.
    std::string folder = MakeTempFolder("vss-host-noexport");
    ASSERT_TRUE(CopyFileA(BinPath("kv64wrap.exe").c_str(), (folder + "kv64wrap.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(BinPath("kv64wrap.exe").c_str(), (folder + "kv_vss64.dll").c_str(), FALSE));
    WriteRequest();
    EXPECT_EQ(RunProgram(folder + "kv64wrap.exe", kRunLimitMs), 1);
    EXPECT_NE(HostLog().find("ERROR: Unable to get required function in " + folder + "kv_vss64.dll\r\n"),
              std::string::npos)
        << HostLog();
}

TEST_F(HostExitCode, FailureStatusIsOneAndTheThreadEndsBeforeTheLibraryGoes)
{
    // The double keeps running for a while after it reported; a host that unloaded the
    // library (or exited) at once would cut off its last log line.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "fail:7:700");
    WriteRequest();
    EXPECT_EQ(RunHost(), 1);
    EXPECT_NE(HostLog().find("ERROR: Unable to create shadow copy.  See 'VSSLog.txt' for more detail or "
                             "turn off option to backup locked/open files.\r\n"),
              std::string::npos)
        << HostLog();
    EXPECT_NE(LibraryLog().find("ERROR: Shadow copies not made, status 7\r\n"), std::string::npos)
        << LibraryLog();
    EXPECT_FALSE(FileExists(fields_.reply));
}

TEST_F(HostExitCode, MadeReportedAndReleasedIsZero)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:100");
    WriteRequest();
    HostProcess host;
    ASSERT_TRUE(host.Start(Host()));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(fields_.reply); }, kRunLimitMs)) << HostLog();
    ASSERT_TRUE(WaitUntil([&] { return ReadWholeFile(fields_.reply) == "0\r\n"; }, 5000));
    EXPECT_TRUE(TargetReadable());

    // An empty release file is not the notice.
    ASSERT_TRUE(WriteNotice(fields_.release, ""));
    Sleep(500);
    EXPECT_TRUE(host.Running());
    EXPECT_TRUE(TargetReadable());

    ASSERT_TRUE(WriteNotice(fields_.release, "1\r\n"));
    EXPECT_EQ(host.Wait(kRunLimitMs), 0);
    EXPECT_FALSE(TargetReadable());
    std::string log = HostLog();
    std::string letters = std::string("C -> ") + target_;
    EXPECT_NE(log.find("Successfully created shadow volume(s): " + letters + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Informed caller that volume shadow(s) are ready for use: 0\r\n"), std::string::npos);
    EXPECT_NE(log.find("Received notice that caller is done with volume shadow(s): 1\r\n"), std::string::npos);
    EXPECT_NE(log.find("Successfully released shadow volume(s)\r\n"), std::string::npos);
}

TEST_F(HostExitCode, StartsPendingWhateverLinesNineToElevenSay)
{
    // Taken at their word, these lines would make the host report at once and the library
    // release at once; the reply must still mean that the copy is exposed.
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:400");
    fields_.releaseRequest = "1";
    fields_.status = "0";
    fields_.active = "0";
    WriteRequest();
    HostProcess host;
    ASSERT_TRUE(host.Start(Host()));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(fields_.reply); }, kRunLimitMs)) << HostLog();
    EXPECT_TRUE(TargetReadable());
    Sleep(300);
    EXPECT_TRUE(host.Running()) << "the host waits for the release notice";
    ASSERT_TRUE(WriteNotice(fields_.release, "1\n"));
    EXPECT_EQ(host.Wait(kRunLimitMs), 0);
    EXPECT_FALSE(TargetReadable());
}

TEST_F(HostExitCode, ReplyThatCannotBeCreatedIsSeventeenAfterTheRelease)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0");
    ASSERT_TRUE(CreateDirectoryA(fields_.reply.c_str(), nullptr));
    WriteRequest();
    int code = RunHost();
    RemoveDirectoryA(fields_.reply.c_str());
    EXPECT_EQ(code, 17);
    EXPECT_NE(HostLog().find("Successfully released shadow volume(s)\r\n"), std::string::npos) << HostLog();
    EXPECT_FALSE(TargetReadable());
}

TEST_F(HostExitCode, LibraryThatNeverReportsEndsAfterTheLimitWithAnError)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:120000");
    WriteRequest();
    DWORD start = GetTickCount();
    EXPECT_EQ(RunProgram(HostWithShortWaits(), kRunLimitMs), 1);
    EXPECT_LT(GetTickCount() - start, 30000u);
    EXPECT_NE(HostLog().find("ERROR: The shadow copy library reported no status within 1 seconds\r\n"),
              std::string::npos)
        << HostLog();
}

TEST_F(HostExitCode, LibraryThatNeverReleasesEndsAfterTheLimitWithAnError)
{
    ScopedEnvironment vss("VELLORAN_VSS_DOUBLE", "ok:0:120000");
    WriteRequest();
    HostProcess host;
    ASSERT_TRUE(host.Start(HostWithShortWaits()));
    ASSERT_TRUE(WaitUntil([&] { return FileExists(fields_.reply); }, kRunLimitMs)) << HostLog();
    ASSERT_TRUE(WriteNotice(fields_.release, "1\n"));
    EXPECT_EQ(host.Wait(30000), 1);
    std::string log = HostLog();
    EXPECT_NE(log.find("ERROR: The shadow copy library did not release the shadow volume(s) within 1 seconds\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("Successfully released shadow volume(s)"), std::string::npos);
}

TEST_F(HostExitCode, DataFolderThatCannotBeCreatedIsThree)
{
    std::string folder = data_.substr(0, data_.size() - 1);
    ASSERT_TRUE(RemoveDirectoryA(folder.c_str())) << GetLastError();
    ASSERT_TRUE(WriteWholeFile(folder, "a file where the folder should be"));
    int code = RunHost();
    DeleteFileA(folder.c_str());
    CreateDirectoryA(folder.c_str(), nullptr);
    EXPECT_EQ(code, 3);
}

TEST_F(HostExitCode, MissingDataFolderIsCreated)
{
    std::string folder = data_.substr(0, data_.size() - 1);
    ASSERT_TRUE(RemoveDirectoryA(folder.c_str())) << GetLastError();
    EXPECT_EQ(RunHost(), 4);  // no request file in the new, empty folder
    EXPECT_TRUE(FileExists(folder));
}

TEST_F(HostExitCode, ApplicationDataFolderNotFoundIsTwo)
{
    const char *key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    HKEY folders = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &folders), ERROR_SUCCESS);
    char saved[MAX_PATH] = "";
    DWORD savedSize = sizeof saved, savedType = 0;
    LONG had = RegQueryValueExA(folders, "AppData", nullptr, &savedType, (BYTE *)saved, &savedSize);
    const char unreachable[] = "Q:\\no such drive\\AppData";
    ASSERT_EQ(RegSetValueExA(folders, "AppData", 0, REG_EXPAND_SZ, (const BYTE *)unreachable,
                             sizeof unreachable),
              ERROR_SUCCESS);
    int code = RunHost();
    if (had == ERROR_SUCCESS)
        RegSetValueExA(folders, "AppData", 0, savedType, (const BYTE *)saved, savedSize);
    else
        RegDeleteValueA(folders, "AppData");
    RegCloseKey(folders);
    EXPECT_EQ(code, 2);
}

}  // namespace
