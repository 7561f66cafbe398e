#include <gtest/gtest.h>

#include <stdio.h>
#include <string>

#include "CoreTestSupport.h"
#include "FolderChangeTime.h"
#include "FolderHelpers.h"
#include "GlobalSettings.h"
#include "LongPath.h"

namespace {

std::wstring LongPathOf(const wchar_t *path)
{
    wchar_t *made = MakeLongPath(path);
    std::wstring result = made != nullptr ? made : L"<null>";
    free(made);
    return result;
}

// A chain of folders under base whose full path is at least `length` characters.
std::wstring DeepFolder(const std::wstring &base, size_t length)
{
    std::wstring path = base;
    while (path.size() < length)
        path += std::wstring(40, L'd') + L"\\";
    return path;
}

bool WriteFileW(const std::wstring &path, const char *content)
{
    wchar_t *longPath = MakeLongPath(path.c_str());
    HANDLE file = CreateFileW(longPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    free(longPath);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written;
    WriteFile(file, content, (DWORD)strlen(content), &written, nullptr);
    CloseHandle(file);
    return true;
}

std::string Narrow(const wchar_t *text)
{
    char out[1024];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof(out), nullptr, nullptr);
    return length > 0 ? std::string(out) : std::string("?");
}

std::string ReadLog(FILE *log)
{
    fflush(log);
    long size = ftell(log);
    rewind(log);
    std::string text((size_t)size, '\0');
    size_t read = fread(&text[0], 1, (size_t)size, log);
    text.resize(read);
    return text;
}

} // namespace

TEST(LongPath, PrefixedForms)
{
    std::wstring drive259 = L"C:\\" + std::wstring(256, L'a');
    std::wstring drive260 = L"C:\\" + std::wstring(257, L'a');
    std::wstring unc = L"\\\\server\\share\\" + std::wstring(245, L'x');
    ASSERT_EQ(drive259.size(), 259u);
    ASSERT_EQ(unc.size(), 260u);
    EXPECT_FALSE(NeedsLongPath(drive259.c_str()));
    EXPECT_TRUE(NeedsLongPath(drive260.c_str()));
    EXPECT_TRUE(NeedsLongPath(unc.c_str()));
    EXPECT_EQ(LongPathOf(drive260.c_str()), L"\\\\?\\" + drive260);
    EXPECT_EQ(LongPathOf(unc.c_str()), L"\\\\?\\UNC\\server\\share\\" + std::wstring(245, L'x'));
    EXPECT_EQ(LongPathOf(L"C:\\x"), L"\\\\?\\C:\\x");
}

TEST(LongPath, PrefixIsNeverAddedTwiceAndRelativePathsAreMadeFull)
{
    EXPECT_EQ(LongPathOf(L"\\\\?\\C:\\already"), L"\\\\?\\C:\\already");
    EXPECT_EQ(LongPathOf(L"\\\\?\\UNC\\srv\\share\\x"), L"\\\\?\\UNC\\srv\\share\\x");
    EXPECT_EQ(LongPathOf(L"C:\\a\\.\\b\\..\\c"), L"\\\\?\\C:\\a\\c");

    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = std::wstring(L"\\\\?\\") + current;
    if (expected.back() != L'\\')
        expected += L'\\';
    EXPECT_EQ(LongPathOf(L"sub\\file.txt"), expected + L"sub\\file.txt");
}

// Names the system's path parsing would change go with the prefix, and the prefix goes in
// front of them as they stand: "trail." must not become "trail", nor "aux.txt" the device.
TEST(LongPath, NamesAShortPathMisreadsKeepThePrefixAndTheirSpelling)
{
    struct Case {
        const wchar_t *path;
        bool prefixed;
    } cases[] = {
        {L"C:\\x\\trail.", true},
        {L"C:\\x\\space ", true},
        {L"C:\\x\\aux.txt", true},
        {L"C:\\x\\CON", true},
        {L"C:\\x\\lpt1.log", true},
        {L"C:\\x\\nul .txt", true},
        {L"C:\\x\\dir.\\f.txt", true},
        {L"C:\\aux\\f.txt", true},
        {L"\\\\server\\share\\prn", true},
        {L"C:\\x\\normal.txt", false},
        {L"C:\\x\\.profile", false},
        {L"C:\\x\\archive.tar.gz", false},
        {L"C:\\x\\auxiliary.txt", false},
        {L"C:\\x\\com10.txt", false},
        {L"C:\\x\\folder\\", false},
        {L"C:\\x\\Report \u2013 final.txt", false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(NeedsLongPath(c.path), c.prefixed) << Narrow(c.path);
        std::wstring expected = c.path[1] == L'\\' ? L"\\\\?\\UNC\\" + std::wstring(c.path + 2)
                                                     : L"\\\\?\\" + std::wstring(c.path);
        EXPECT_EQ(LongPathOf(c.path), expected) << Narrow(c.path);
    }
    // Paths the system has to normalise still are.
    EXPECT_FALSE(NeedsLongPath(L"C:\\a\\.\\b"));
    EXPECT_EQ(LongPathOf(L"C:\\a\\\\b"), L"\\\\?\\C:\\a\\b");
    EXPECT_EQ(LongPathOf(L"C:/a/b"), L"\\\\?\\C:\\a\\b");
}

TEST(LongPath, CopyAndDeleteBeyondTheLimit)
{
    ScratchFolder folder;
    std::wstring deep = DeepFolder(folder.Wide(), 300);
    ASSERT_TRUE(CreateDirectoryWithParents(deep.c_str(), nullptr));
    EXPECT_EQ(IsDirectory(deep.c_str()), 1);

    std::wstring shortSource = folder.Wide() + L"source.txt";
    ASSERT_TRUE(WriteFileW(shortSource, "hello"));
    std::wstring target = deep + L"copy.txt";
    ASSERT_GE(target.size(), 300u);
    ASSERT_TRUE(CopyFileLong(shortSource.c_str(), target.c_str()));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExLong(target.c_str(), &data));
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_TRUE(CopyFileLong(target.c_str(), (deep + L"again.txt").c_str()));

    ASSERT_TRUE(SetFileAttributesLong(target.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_NE(GetFileAttributesLong(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileLong((deep + L"*.txt").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);

    ASSERT_TRUE(SetFileAttributesLong(target.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileLong(target.c_str()));
    EXPECT_EQ(GetFileAttributesLong(target.c_str()), INVALID_FILE_ATTRIBUTES);

    std::wstring top = folder.Wide() + std::wstring(40, L'd');
    FILE *log = tmpfile();
    EXPECT_EQ(DeleteFolderTree(log, top.c_str(), nullptr), 1) << ReadLog(log);
    EXPECT_EQ(GetFileAttributesLong(top.c_str()), INVALID_FILE_ATTRIBUTES);
    fclose(log);
}

TEST(FolderTree, DeletesReadOnlyFilesAndStopsOnCancel)
{
    ScratchFolder folder;
    std::wstring tree = folder.Wide() + L"tree";
    ASSERT_TRUE(CreateDirectoryWithParents((tree + L"\\sub\\deeper").c_str(), nullptr));
    ASSERT_TRUE(WriteFileW(tree + L"\\sub\\locked.txt", "x"));
    ASSERT_TRUE(WriteFileW(tree + L"\\plain.txt", "y"));
    SetFileAttributesW((tree + L"\\sub\\locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    FILE *log = tmpfile();
    uint8_t cancel = 1;
    EXPECT_EQ(DeleteFolderTree(log, tree.c_str(), &cancel), 1);
    EXPECT_EQ(IsDirectory(tree.c_str()), 1) << "cancelled before the call: nothing removed";
    EXPECT_NE(GetFileAttributesW((tree + L"\\plain.txt").c_str()), INVALID_FILE_ATTRIBUTES);

    cancel = 0;
    EXPECT_EQ(DeleteFolderTree(log, tree.c_str(), &cancel), 1) << ReadLog(log);
    EXPECT_EQ(GetFileAttributesW(tree.c_str()), INVALID_FILE_ATTRIBUTES);
    fclose(log);
}

TEST(FolderTree, FileThatCannotBeDeletedKeepsTheTree)
{
    ScratchFolder folder;
    std::wstring tree = folder.Wide() + L"busy";
    ASSERT_TRUE(CreateDirectoryWithParents(tree.c_str(), nullptr));
    std::wstring file = tree + L"\\open.txt";
    ASSERT_TRUE(WriteFileW(file, "z"));
    // Another process-wide open without delete sharing keeps the file.
    HANDLE open = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    FILE *log = tmpfile();
    EXPECT_EQ(DeleteFolderTree(log, tree.c_str(), nullptr), 0);
    CloseHandle(open);
    std::string text = ReadLog(log);
    EXPECT_NE(text.find("== start_error\nDelete File:\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Unable to delete file: "), std::string::npos) << text;
    EXPECT_NE(text.find("Remove Directory:\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Unable to remove excluded folder: "), std::string::npos) << text;
    EXPECT_EQ(IsDirectory(tree.c_str()), 1);
    fclose(log);
}

TEST(FolderTree, LinksAreRemovedNotFollowed)
{
    ScratchFolder folder;
    std::wstring outside = folder.Wide() + L"outside";
    std::wstring tree = folder.Wide() + L"tree";
    ASSERT_TRUE(CreateDirectoryWithParents(outside.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryWithParents(tree.c_str(), nullptr));
    ASSERT_TRUE(WriteFileW(outside + L"\\precious.txt", "keep"));
    std::wstring link = tree + L"\\link";
    if (!CreateSymbolicLinkW(link.c_str(), outside.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        !(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "folder links are not available here";
    FILE *log = tmpfile();
    EXPECT_EQ(DeleteFolderTree(log, tree.c_str(), nullptr), 1) << ReadLog(log);
    EXPECT_NE(GetFileAttributesW((outside + L"\\precious.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(tree.c_str()), INVALID_FILE_ATTRIBUTES);
    fclose(log);
}

TEST(FolderCreation, MissingParentsAreCreated)
{
    ScratchFolder folder;
    std::string path = folder.path + "bk\\2026\\MAR";
    FILE *log = tmpfile();
    gSettings.logVerbose = 1;
    EXPECT_EQ(verify_directoryA(path.c_str(), log), 1);
    gSettings.logVerbose = 0;
    EXPECT_NE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(ReadLog(log).find("Created directory: "), std::string::npos);
    EXPECT_EQ(verify_directoryA(path.c_str(), log), 1) << "an existing folder is fine";
    fclose(log);
}

TEST(FolderCreation, FailureIsLogged)
{
    ScratchFolder folder;
    std::wstring blocker = folder.Wide() + L"file";
    ASSERT_TRUE(WriteFileW(blocker, "x"));
    FILE *log = tmpfile();
    EXPECT_EQ(verify_directoryW((blocker + L"\\sub").c_str(), log, 0, nullptr), 0);
    std::string text = ReadLog(log);
    EXPECT_NE(text.find("== start_error\nCreate Directory:\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Unable to access or create directory: "), std::string::npos) << text;
    EXPECT_EQ(verify_directoryW((blocker + L"\\sub").c_str(), nullptr, 0, nullptr), 0);
    fclose(log);
}

TEST(FolderAttributes, SourceAttributesAndTimesAreCopied)
{
    ScratchFolder folder;
    std::wstring source = folder.Wide() + L"src";
    std::wstring target = folder.Wide() + L"dst";
    ASSERT_TRUE(CreateDirectoryW(source.c_str(), nullptr));
    FILETIME when = {0x12340000, 0x01D00000};
    HANDLE handle = CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    SetFileTime(handle, nullptr, &when, &when);
    CloseHandle(handle);
    ASSERT_EQ(verify_directoryW(target.c_str(), nullptr, 1, source.c_str()), 1);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(data.ftLastWriteTime.dwHighDateTime, when.dwHighDateTime);
    EXPECT_EQ(data.ftLastWriteTime.dwLowDateTime, when.dwLowDateTime);
}

// A folder that already has its source's attributes and times is left as it is; one whose
// source has other attributes or another last-write time since is written again.
TEST(FolderAttributes, OnlyAFolderThatDiffersFromItsSourceIsWrittenAgain)
{
    ScratchFolder folder;
    std::wstring source = folder.Wide() + L"src";
    std::wstring target = folder.Wide() + L"dst";
    ASSERT_TRUE(CreateDirectoryW(source.c_str(), nullptr));
    ASSERT_EQ(verify_directoryW(target.c_str(), nullptr, 1, source.c_str()), 1);
    LONGLONG stamped = ChangeTimeOf(target);
    Sleep(50);
    ASSERT_EQ(verify_directoryW(target.c_str(), nullptr, 1, source.c_str()), 1);
    EXPECT_EQ(ChangeTimeOf(target), stamped) << "a folder that matched was written again";

    ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_EQ(verify_directoryW(target.c_str(), nullptr, 1, source.c_str()), 1);
    EXPECT_NE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

    FILETIME later = {0x56780000, 0x01D10000};
    HANDLE handle = CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    SetFileTime(handle, nullptr, nullptr, &later);
    CloseHandle(handle);
    ASSERT_EQ(verify_directoryW(target.c_str(), nullptr, 1, source.c_str()), 1);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &later), 0);
}

TEST(FolderAttributes, MergedAttributes)
{
    struct Case { DWORD destination, source, expected; };
    const Case cases[] = {
        {FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN,
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
        {FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE, FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_NORMAL},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_OFFLINE, FILE_ATTRIBUTE_NOT_CONTENT_INDEXED,
         FILE_ATTRIBUTE_OFFLINE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED},
        {FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED, 0, FILE_ATTRIBUTE_NORMAL},
        {FILE_ATTRIBUTE_TEMPORARY, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM,
         FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0, FILE_ATTRIBUTE_NORMAL},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MergeDirectoryAttributes(c.destination, c.source), c.expected) << std::hex << c.destination;
}

TEST(FolderAttributes, RootSourcesAreNotCopied)
{
    ScratchFolder folder;
    for (const wchar_t *root : {L"C:\\", L"\\\\server\\share\\"}) {
        std::wstring target = folder.Wide() + L"t";
        EXPECT_EQ(verify_directoryW(target.c_str(), nullptr, 1, root), 1);
        EXPECT_EQ(IsDirectory(target.c_str()), 1);
        RemoveDirectoryW(target.c_str());
    }
}

TEST(FolderAttributes, MissingSourceIsLogged)
{
    ScratchFolder folder;
    std::wstring target = folder.Wide() + L"t";
    FILE *log = tmpfile();
    EXPECT_EQ(verify_directoryW(target.c_str(), log, 1, (folder.Wide() + L"missing\\x").c_str()), 0);
    std::string text = ReadLog(log);
    EXPECT_NE(text.find("Get Attributes:\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Unable to read source directory attributes: "), std::string::npos) << text;
    fclose(log);
}

TEST(Volumes, SourceRootsAndFileSystemKinds)
{
    struct Case { const char *path, *root; };
    const Case cases[] = {
        {"C:\\Data\\x", "C:\\"}, {"\\\\srv\\share\\dir\\f", "\\\\srv\\share\\"},
        {"\\\\srv\\share", nullptr}, {"nothing", nullptr},
    };
    for (const Case &c : cases) {
        char root[64] = "";
        EXPECT_EQ(GetSourceRoot(c.path, root, sizeof(root)), c.root != nullptr ? 1 : 0) << c.path;
        if (c.root != nullptr) {
            EXPECT_STREQ(root, c.root);
        }
    }
    int kind = -1;
    char name[128];
    GetVolumeFileSystemKind("C:\\windows\\", &kind, name);
    EXPECT_EQ(kind, FileSystemNtfs);
    EXPECT_STREQ(name, "NTFS");
    GetVolumeFileSystemKind("\\\\nosuchserver\\share\\x", &kind, name);
    EXPECT_EQ(kind, FileSystemOther);
    EXPECT_STREQ(name, "Unknown");
}

TEST(LongPath, ExpandToLongPathNameStripsThePrefix)
{
    ScratchFolder folder;
    std::string file = folder.path + "Long File Name.txt";
    ASSERT_TRUE(WriteFileW(std::wstring(file.begin(), file.end()), "x"));
    char buffer[1024];
    lstrcpyA(buffer, file.c_str());
    EXPECT_GT(ExpandToLongPathName(buffer, buffer), 0u);
    EXPECT_STREQ(buffer, file.c_str());
}

TEST(FolderTree, DeepTreesOfShortNames)
{
    ScratchFolder folder;
    std::wstring top = folder.Wide() + L"deep";
    std::wstring path = top;
    while (path.size() < 1000)
        path += L"\\a";
    ASSERT_TRUE(CreateDirectoryWithParents(path.c_str(), nullptr));
    FILE *log = tmpfile();
    EXPECT_EQ(DeleteFolderTree(log, top.c_str(), nullptr), 1) << ReadLog(log);
    EXPECT_EQ(GetFileAttributesLong(top.c_str()), INVALID_FILE_ATTRIBUTES);
    fclose(log);
}
