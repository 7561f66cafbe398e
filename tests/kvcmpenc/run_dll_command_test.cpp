// RunDLLCommand through the built kvcmpenc.dll, as the ZIP step calls it: the current folder
// is the source root and the list holds paths relative to it. Archives are read back with
// libzip here; tests/e2e/test_kvcmpenc.py checks them with independent readers.
#include <windows.h>
#include <gtest/gtest.h>
#include <zip.h>
#include <string.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "CompressionRequest.h"
#include "TestFiles.h"

namespace {

RunDLLCommandProc LoadRunDLLCommand()
{
    static HMODULE library = [] {
        char dir[MAX_PATH] = "";
        GetEnvironmentVariableA("VELLORAN_BIN_DIR", dir, sizeof dir);
        return LoadLibraryA((std::string(dir) + "\\kvcmpenc.dll").c_str());
    }();
    if (!library)
        return nullptr;
    return reinterpret_cast<RunDLLCommandProc>(reinterpret_cast<void *>(GetProcAddress(library, "RunDLLCommand")));
}

class RunDLLCommandTest : public ::testing::Test {
protected:
    RunDLLCommandTest() : folder_("kvrun")
    {
        source_ = folder_ / "src\\";
        output_ = folder_ / "out\\";
        CreateDirectoryA(source_.c_str(), nullptr);
        CreateDirectoryA(output_.c_str(), nullptr);
        listPath_ = folder_ / "0_0.txt";
        logPath_ = folder_ / "compress.txt";
    }

    void SetUp() override { ASSERT_NE(LoadRunDLLCommand(), nullptr); }

    void TearDown() override
    {
        // The scratch folder cannot go while it is the current folder.
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        SetCurrentDirectoryA(temp);
    }

    void AddSourceFile(const std::string &relative, const std::string &bytes)
    {
        size_t slash = relative.rfind('\\');
        if (slash != std::string::npos)
            CreateDirectoryA((source_ + relative.substr(0, slash)).c_str(), nullptr);
        ASSERT_TRUE(WriteWholeFile(source_ + relative, bytes));
    }

    // Lines are written with CR LF, as the ZIP step's text-mode stream does.
    void WriteList(const std::vector<std::string> &lines)
    {
        std::string text;
        for (const std::string &line : lines)
            text += line + "\r\n";
        ASSERT_TRUE(WriteWholeFile(listPath_, text));
    }

    std::string CommandLine(const std::string &switches, const std::string &archive) const
    {
        return "fake.exe a -tzip -scsWIN -ssw " + switches + "\"" + archive + "\" @\"" + listPath_ + "\"";
    }

    int32_t Run(const std::string &commandLine)
    {
        EXPECT_TRUE(SetCurrentDirectoryA(source_.c_str()));
        std::vector<char> line(1024, '\0');
        lstrcpynA(line.data(), commandLine.c_str(), (int)line.size());
        char log[260] = "";
        lstrcpynA(log, logPath_.c_str(), sizeof log);
        char message[256] = "";
        CompressionRequest request = {};
        request.commandLine = line.data();
        request.cancelFlag = &cancel_;
        request.logPath = log;
        request.verbose = verbose_;
        request.messageBuffer = message;
        request.progress = &progress_;
        return LoadRunDLLCommand()(&request);
    }

    std::string Log() const
    {
        std::string text;
        ReadWholeFile(logPath_, &text);
        return text;
    }

    ScratchFolder folder_;
    std::string source_, output_, listPath_, logPath_;
    volatile char cancel_ = 0;
    volatile int32_t progress_ = -1;
    uint8_t verbose_ = 1;
};

// An archive opened for reading with libzip, closed at the end.
class ReadBack {
public:
    explicit ReadBack(const std::string &path)
    {
        int error = 0;
        archive_ = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    }
    ~ReadBack()
    {
        if (archive_)
            zip_discard(archive_);
    }
    bool IsOpen() const { return archive_ != nullptr; }
    zip_int64_t Count() const { return zip_get_num_entries(archive_, 0); }

    bool Read(const char *name, const char *password, std::string *bytes) const
    {
        zip_file_t *file = password ? zip_fopen_encrypted(archive_, name, 0, password) : zip_fopen(archive_, name, 0);
        if (!file)
            return false;
        bytes->clear();
        char buffer[8192];
        zip_int64_t got;
        while ((got = zip_fread(file, buffer, sizeof buffer)) > 0)
            bytes->append(buffer, (size_t)got);
        return zip_fclose(file) == 0 && got == 0;
    }

    bool Stat(const char *name, zip_stat_t *st) const { return zip_stat(archive_, name, 0, st) == 0; }

    // The entry's DOS attributes; 0xFFFFFFFF when it has none.
    uint32_t Attributes(const char *name) const
    {
        zip_int64_t index = zip_name_locate(archive_, name, 0);
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (index < 0 || zip_file_get_external_attributes(archive_, (zip_uint64_t)index, 0, &system, &attributes) < 0 ||
            system != ZIP_OPSYS_DOS)
            return 0xFFFFFFFF;
        return attributes;
    }

private:
    zip_t *archive_ = nullptr;
};

}  // namespace

TEST_F(RunDLLCommandTest, PlainArchiveHoldsEveryListedFileUnderItsRelativeName)
{
    std::string text(20000, 'a');
    AddSourceFile("Docs\\a.txt", text);
    AddSourceFile("b.bin", MakeNoise(5000, 7));
    AddSourceFile("empty.txt", "");
    WriteList({"Docs\\a.txt", "b.bin", "empty.txt"});
    std::string archive = output_ + "backup.zip";
    EXPECT_EQ(Run(CommandLine("", archive)), CompressionOk);
    EXPECT_EQ(progress_, 100);

    ReadBack zip(archive);
    ASSERT_TRUE(zip.IsOpen());
    EXPECT_EQ(zip.Count(), 3);
    std::string bytes;
    ASSERT_TRUE(zip.Read("Docs/a.txt", nullptr, &bytes));
    EXPECT_EQ(bytes, text);
    ASSERT_TRUE(zip.Read("b.bin", nullptr, &bytes));
    EXPECT_EQ(bytes, MakeNoise(5000, 7));
    ASSERT_TRUE(zip.Read("empty.txt", nullptr, &bytes));
    EXPECT_TRUE(bytes.empty());
    zip_stat_t st;
    ASSERT_TRUE(zip.Stat("Docs/a.txt", &st));
    EXPECT_EQ(st.comp_method, ZIP_CM_DEFLATE);
    EXPECT_LT(st.comp_size, 1000u);
    EXPECT_EQ(st.encryption_method, ZIP_EM_NONE);
    EXPECT_NE(Log().find("Creating archive: " + archive), std::string::npos);
    EXPECT_NE(Log().find("Adding: Docs\\a.txt"), std::string::npos);
}

TEST_F(RunDLLCommandTest, QuietLogNamesTheArchiveButNotEachFile)
{
    AddSourceFile("a.txt", "x");
    AddSourceFile("b.txt", "y");
    WriteList({"a.txt", "b.txt"});
    verbose_ = 0;
    std::string archive = output_ + "q.zip";
    ASSERT_EQ(Run(CommandLine("", archive)), CompressionOk);
    std::string log = Log();
    EXPECT_NE(log.find("Creating archive: " + archive), std::string::npos);
    EXPECT_NE(log.find("Files added: 2, skipped: 0"), std::string::npos);
    EXPECT_NE(log.find("Result 0: Archive created"), std::string::npos);
    EXPECT_EQ(log.find("Adding:"), std::string::npos);
}

// A file is described by the one listing of its folder, or, when the listing does not show it
// under the name as listed, by its own open; either way it keeps its own time and attributes.
TEST_F(RunDLLCommandTest, KeepsModificationTimes)
{
    struct Case {
        const char *onDisk;
        const char *listed;
        bool readOnly;
    };
    const Case cases[] = {
        {"old.txt", "old.txt", false},
        {"sub\\kept.txt", "sub\\kept.txt", true},
        {"new.txt", "NEW.TXT", true},
        {"sub\\Mixed.txt", "sub\\mixed.TXT", false},
        {"later.txt", "later.txt", false},   // listed apart from the other file of its folder
    };
    std::vector<std::string> listed;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const Case &c = cases[i];
        AddSourceFile(c.onDisk, c.listed);
        std::string path = source_ + c.onDisk;
        HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        // From 2019-06-15 10:20:30 UTC two hours apart, even seconds so the DOS time holds them exactly.
        ULARGE_INTEGER when;
        when.QuadPart = ((1560594030ULL + i * 7200) * 10000000ULL) + 116444736000000000ULL;
        FILETIME written = {when.LowPart, when.HighPart};
        ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
        CloseHandle(file);
        if (c.readOnly) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
        }
        listed.push_back(c.listed);
    }
    WriteList(listed);
    std::string archive = output_ + "t.zip";
    ASSERT_EQ(Run(CommandLine("", archive)), CompressionOk);
    ReadBack zip(archive);
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.listed);
        std::string name = c.listed;
        std::replace(name.begin(), name.end(), '\\', '/');
        zip_stat_t st;
        ASSERT_TRUE(zip.Stat(name.c_str(), &st));
        EXPECT_EQ((long long)st.mtime, 1560594030LL + (long long)i * 7200);
        uint32_t attributes = zip.Attributes(name.c_str());
        EXPECT_EQ(attributes, GetFileAttributesA((source_ + c.onDisk).c_str()) &
                                  (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                   FILE_ATTRIBUTE_ARCHIVE));
        EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, c.readOnly);
    }
}

TEST_F(RunDLLCommandTest, PasswordEncryptsWithAes256AndNeverReachesTheLog)
{
    AddSourceFile("secret.txt", "the plans");
    WriteList({"secret.txt"});
    std::string archive = output_ + "enc.zip";
    EXPECT_EQ(Run(CommandLine("-p\"Open Sesame\" -mem=AES256 ", archive)), CompressionOk);
    ReadBack zip(archive);
    ASSERT_TRUE(zip.IsOpen());
    zip_stat_t st;
    ASSERT_TRUE(zip.Stat("secret.txt", &st));
    EXPECT_EQ(st.encryption_method, ZIP_EM_AES_256);
    std::string bytes;
    EXPECT_TRUE(zip.Read("secret.txt", "Open Sesame", &bytes));
    EXPECT_EQ(bytes, "the plans");
    EXPECT_FALSE(zip.Read("secret.txt", "open sesame", &bytes));
    EXPECT_EQ(Log().find("Sesame"), std::string::npos);
    EXPECT_NE(Log().find("AES-256"), std::string::npos);
}

TEST_F(RunDLLCommandTest, VolumesAreAtMostTheGivenSizeAndJoinIntoTheArchive)
{
    AddSourceFile("n1.bin", MakeNoise(6000, 8));
    AddSourceFile("n2.bin", MakeNoise(3000, 9));
    WriteList({"n1.bin", "n2.bin"});
    std::string archive = output_ + "split.zip";
    EXPECT_EQ(Run(CommandLine("-v1k ", archive)), CompressionOk);
    EXPECT_FALSE(FileExists(archive));
    std::string joined, part;
    int parts = 0;
    for (int n = 1; FileExists(archive + (n < 10 ? ".00" : ".0") + std::to_string(n)); n++) {
        ASSERT_TRUE(ReadWholeFile(archive + (n < 10 ? ".00" : ".0") + std::to_string(n), &part));
        EXPECT_LE(part.size(), 1024u);
        joined += part;
        parts++;
    }
    EXPECT_GE(parts, 9);
    EXPECT_EQ(CountFiles(output_), parts);
    std::string whole = folder_ / "joined.zip";
    ASSERT_TRUE(WriteWholeFile(whole, joined));
    ReadBack zip(whole);
    ASSERT_TRUE(zip.IsOpen());
    std::string bytes;
    ASSERT_TRUE(zip.Read("n1.bin", nullptr, &bytes));
    EXPECT_EQ(bytes, MakeNoise(6000, 8));
    ASSERT_TRUE(zip.Read("n2.bin", nullptr, &bytes));
    EXPECT_EQ(bytes, MakeNoise(3000, 9));
}

TEST_F(RunDLLCommandTest, SmallArchiveWithVolumesIsOnePartNumberedOne)
{
    AddSourceFile("a.txt", "small");
    WriteList({"a.txt"});
    std::string archive = output_ + "one.zip";
    EXPECT_EQ(Run(CommandLine("-v10m ", archive)), CompressionOk);
    EXPECT_TRUE(FileExists(archive + ".001"));
    EXPECT_FALSE(FileExists(archive + ".002"));
    EXPECT_FALSE(FileExists(archive));
}

// A file that another program holds open, sharing it with no one, shows in its folder's listing
// and is first refused when it is read; it is left out with the same warning as a missing file,
// each once, and the others make the very archive they make alone.
TEST_F(RunDLLCommandTest, UnreadableFileIsSkippedWithWarnings)
{
    // A name ending in '*' is held open that way; "missing.txt" is not there at all.
    struct Case {
        const char *switches;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {"", {"ok.txt", "locked.txt*", "missing.txt"}},
        {"", {"first.txt*", "a.txt", "sub\\held.txt*", "sub\\b.txt", "last.txt*"}},
        {"-v1k ", {"big.bin", "held.bin*", "tail.txt"}},
        {"-p\"pw\" -mem=AES256 ", {"a.txt", "locked.txt*"}},
    };
    int number = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(number);
        std::string out = output_ + std::to_string(number++) + "\\";
        ASSERT_TRUE(CreateDirectoryA(out.c_str(), nullptr));
        DeleteFileA(logPath_.c_str());
        std::vector<std::string> listed, readable, warnings;
        std::vector<HANDLE> held;
        for (std::string name : c.listed) {
            bool hold = name.back() == '*';
            if (hold)
                name.pop_back();
            listed.push_back(name);
            if (name == "missing.txt") {
                warnings.push_back("WARNING: Unable to open file, skipped: missing.txt (error 2)");
                continue;
            }
            AddSourceFile(name, name == "big.bin" ? MakeNoise(5000, 1) : "data of " + name);
            if (!hold) {
                readable.push_back(name);
                continue;
            }
            held.push_back(CreateFileA((source_ + name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
            warnings.push_back("WARNING: Unable to open file, skipped: " + name + " (error 32)");
        }
        WriteList(listed);
        int32_t code = Run(CommandLine(c.switches, out + "w.zip"));
        for (HANDLE file : held)
            CloseHandle(file);
        EXPECT_EQ(code, CompressionWarnings);
        EXPECT_EQ(progress_, 100);
        std::string log = Log();
        for (const std::string &warning : warnings) {
            size_t at = log.find(warning);
            EXPECT_NE(at, std::string::npos) << warning;
            EXPECT_EQ(log.find(warning, at + 1), std::string::npos) << warning;
        }

        WriteList(readable);
        ASSERT_EQ(Run(CommandLine(c.switches, out + "alone.zip")), CompressionOk);
        std::string made, alone;
        if (!ReadWholeFile(out + "w.zip", &made))
            made = JoinParts(out + "w.zip");
        if (!ReadWholeFile(out + "alone.zip", &alone))
            alone = JoinParts(out + "alone.zip");
        ASSERT_TRUE(WriteWholeFile(out + "whole.zip", made));
        ReadBack zip(out + "whole.zip");
        ASSERT_TRUE(zip.IsOpen());
        EXPECT_EQ(zip.Count(), (zip_int64_t)readable.size());
        const char *password = strstr(c.switches, "-p") ? "pw" : nullptr;
        for (const std::string &name : readable) {
            std::string entry = name, bytes;
            std::replace(entry.begin(), entry.end(), '\\', '/');
            EXPECT_TRUE(zip.Read(entry.c_str(), password, &bytes)) << name;
            EXPECT_EQ(bytes, name == "big.bin" ? MakeNoise(5000, 1) : "data of " + name);
        }
        if (!password) {   // encryption salts each archive afresh
            EXPECT_TRUE(made == alone);
        }
    }
}

// A name listed again (as written, or with "/" for "\\") is left out once with a warning; every
// other file keeps its own data, also when the entries are encrypted.
TEST_F(RunDLLCommandTest, RepeatedNameIsSkippedAndTheOthersKeepTheirData)
{
    for (const char *switches : {"", "-p\"pw\" -mem=AES256 "}) {
        SCOPED_TRACE(switches);
        AddSourceFile("a.txt", "data of a");
        AddSourceFile("sub\\b.txt", MakeNoise(3000, 2));
        AddSourceFile("c.txt", "data of c");
        WriteList({"a.txt", "sub\\b.txt", "a.txt", "sub/b.txt", "c.txt"});
        DeleteFileA(logPath_.c_str());
        ASSERT_EQ(Run(CommandLine(switches, output_ + "r.zip")), CompressionWarnings);
        std::string log = Log();
        for (const char *warning : {"WARNING: Duplicate name in list, skipped: a.txt",
                                    "WARNING: Duplicate name in list, skipped: sub/b.txt"}) {
            size_t at = log.find(warning);
            EXPECT_NE(at, std::string::npos) << warning;
            EXPECT_EQ(log.find(warning, at + 1), std::string::npos) << warning;
        }
        const char *password = *switches ? "pw" : nullptr;
        ReadBack zip(output_ + "r.zip");
        ASSERT_TRUE(zip.IsOpen());
        EXPECT_EQ(zip.Count(), 3);
        std::string bytes;
        EXPECT_TRUE(zip.Read("a.txt", password, &bytes) && bytes == "data of a");
        EXPECT_TRUE(zip.Read("sub/b.txt", password, &bytes) && bytes == MakeNoise(3000, 2));
        EXPECT_TRUE(zip.Read("c.txt", password, &bytes) && bytes == "data of c");
        if (!password) {   // encryption salts each archive afresh
            WriteList({"a.txt", "sub\\b.txt", "c.txt"});
            ASSERT_EQ(Run(CommandLine(switches, output_ + "once.zip")), CompressionOk);
            std::string made, once;
            EXPECT_TRUE(ReadWholeFile(output_ + "r.zip", &made) && ReadWholeFile(output_ + "once.zip", &once));
            EXPECT_TRUE(made == once);
        }
        DeleteFileA((output_ + "r.zip").c_str());
    }
}

// Code 1 says an archive was made; a call that made none has failed.
TEST_F(RunDLLCommandTest, NothingReadableWritesNoArchiveAndFails)
{
    WriteList({"missing.txt"});
    std::string archive = output_ + "none.zip";
    EXPECT_EQ(Run(CommandLine("", archive)), CompressionFailed);
    EXPECT_EQ(CountFiles(output_), 0);
}

TEST_F(RunDLLCommandTest, SyntaxErrorIsCodeSevenAndWritesNothing)
{
    AddSourceFile("a.txt", "x");
    WriteList({"a.txt"});
    std::string archive = output_ + "bad.zip";
    EXPECT_EQ(Run(CommandLine("-mx9 ", archive)), CompressionSyntaxError);
    EXPECT_EQ(Run("fake.exe a -tzip \"" + archive + "\""), CompressionSyntaxError);
    EXPECT_EQ(Run(CommandLine("-p\"pw\" ", archive)), CompressionSyntaxError);
    EXPECT_EQ(CountFiles(output_), 0);
    EXPECT_NE(Log().find("ERROR: Command line syntax error"), std::string::npos);
    EXPECT_EQ(Log().find("pw"), std::string::npos);
}

TEST_F(RunDLLCommandTest, MissingListFileOrOutputFolderFails)
{
    AddSourceFile("a.txt", "x");
    EXPECT_EQ(Run(CommandLine("", output_ + "a.zip")), CompressionFailed);
    WriteList({"a.txt"});
    EXPECT_EQ(Run(CommandLine("", output_ + "no\\such\\a.zip")), CompressionFailed);
    EXPECT_EQ(Run(CommandLine("-v1k ", output_ + "no\\such\\a.zip")), CompressionFailed);
    EXPECT_EQ(CountFiles(output_), 0);
    EXPECT_NE(Log().find("ERROR: Unable to read list file"), std::string::npos);
}

TEST_F(RunDLLCommandTest, CancelBeforeTheCallMakesNothing)
{
    AddSourceFile("a.txt", "x");
    WriteList({"a.txt"});
    cancel_ = 1;
    EXPECT_EQ(Run(CommandLine("", output_ + "c.zip")), CompressionAborted);
    EXPECT_EQ(CountFiles(output_), 0);
}

TEST_F(RunDLLCommandTest, CancelMidArchiveDeletesThePartsAlreadyWritten)
{
    // Text, which takes a while to compress; noise is only stored.
    for (int i = 0; i < 4; i++)
        AddSourceFile("big" + std::to_string(i) + ".bin", MakeText(2 << 20, (unsigned)i));
    WriteList({"big0.bin", "big1.bin", "big2.bin", "big3.bin"});
    // Set the cancel byte as soon as the library has read past the first file.
    std::atomic<bool> done(false);
    std::thread canceller([&] {
        while (!done && progress_ < 30)
            Sleep(1);
        cancel_ = 1;
    });
    int32_t code = Run(CommandLine("-v512k ", output_ + "c.zip"));
    done = true;
    canceller.join();
    EXPECT_EQ(code, CompressionAborted);
    EXPECT_GE(progress_, 30);
    EXPECT_LT(progress_, 100);
    EXPECT_EQ(CountFiles(output_), 0);
}

TEST_F(RunDLLCommandTest, NamesOutsideAsciiAreStoredAsUtf8)
{
    // The same names as an ANSI list (-scsWIN) can carry them and as a UTF-8 list (-scsUTF-8),
    // which carries every name; a line that is no UTF-8 is skipped with a warning.
    std::wstring cafe = L"caf\u00e9.txt", report = L"\u041e\u0442\u0447\u0451\u0442 \u5831\u544a.txt";
    for (const std::wstring &name : {cafe, report}) {
        HANDLE file = CreateFileW((std::wstring(source_.begin(), source_.end()) + name).c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, "bonjour", 7, &written, nullptr);
        CloseHandle(file);
    }
    WriteList({"caf\xe9.txt"});
    std::string archive = output_ + "u.zip";
    ASSERT_EQ(Run(CommandLine("", archive)), CompressionOk);
    std::string bytes;
    {
        ReadBack zip(archive);
        ASSERT_TRUE(zip.Read("caf\xc3\xa9.txt", nullptr, &bytes));
        EXPECT_EQ(bytes, "bonjour");
    }
    std::string reportUtf8 = "\xd0\x9e\xd1\x82\xd1\x87\xd1\x91\xd1\x82 \xe5\xa0\xb1\xe5\x91\x8a.txt";
    WriteList({"caf\xc3\xa9.txt", reportUtf8, "bad\xe9.txt"});
    std::string commandLine = CommandLine("", output_ + "v.zip");
    commandLine.replace(commandLine.find("-scsWIN"), 7, "-scsUTF-8");
    ASSERT_EQ(Run(commandLine), CompressionWarnings);
    ReadBack zip(output_ + "v.zip");
    EXPECT_EQ(zip.Count(), 2);
    EXPECT_TRUE(zip.Read("caf\xc3\xa9.txt", nullptr, &bytes));
    EXPECT_TRUE(zip.Read(reportUtf8.c_str(), nullptr, &bytes));
    // The log is ANSI text: what the code page lacks is '?'.
    EXPECT_NE(Log().find("Adding: ????? ??.txt"), std::string::npos);
    EXPECT_NE(Log().find("WARNING: Invalid file name in list, skipped: bad\xe9.txt"), std::string::npos);
}

TEST(LibraryLifetime, StaysLoadedAfterTheCallerUnloadsIt)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("VELLORAN_BIN_DIR", dir, sizeof dir);
    std::string path = std::string(dir) + "\\kvcmpenc.dll";
    HMODULE first = LoadLibraryA(path.c_str());
    ASSERT_NE(first, nullptr);
    HMODULE second = LoadLibraryA(path.c_str());
    ASSERT_EQ(first, second);
    EXPECT_TRUE(FreeLibrary(second));
    EXPECT_TRUE(FreeLibrary(first));
    // Exit handlers registered by the crypto code still point into it.
    EXPECT_EQ(GetModuleHandleA(path.c_str()), first);
}

TEST_F(RunDLLCommandTest, ReadsFilesOtherProgramsHaveOpenForWriting)
{
    AddSourceFile("busy.log", "line 1\n");
    WriteList({"busy.log"});
    HANDLE writer = CreateFileA((source_ + "busy.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    std::string archive = output_ + "busy.zip";
    EXPECT_EQ(Run(CommandLine("", archive)), CompressionOk);
    CloseHandle(writer);
    ReadBack zip(archive);
    std::string bytes;
    ASSERT_TRUE(zip.Read("busy.log", nullptr, &bytes));
    EXPECT_EQ(bytes, "line 1\n");
}
