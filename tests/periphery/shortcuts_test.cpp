// Desktop and start-up shortcuts written through the shell-link object, read back the same
// way. The desktop and start-up folders point into a scratch folder for the test (under Wine
// the desktop is the Unix home folder).
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "ScratchFolder.h"
#include "Shortcuts.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// Points one of the user's shell folders at `path` until the end of the test.
class ShellFolderRedirect {
public:
    ShellFolderRedirect(const char *name, const std::string &path) : name_(name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        char old[MAX_PATH] = "";
        DWORD size = sizeof(old);
        hadValue_ = RegQueryValueExA(key, name, nullptr, &type_, (BYTE *)old, &size) == ERROR_SUCCESS;
        if (hadValue_)
            old_.assign(old, size > 0 ? size - 1 : 0);
        RegSetValueExA(key, name, 0, REG_EXPAND_SZ, (const BYTE *)path.c_str(), (DWORD)path.size() + 1);
        RegCloseKey(key);
    }
    ~ShellFolderRedirect()
    {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return;
        if (hadValue_)
            RegSetValueExA(key, name_.c_str(), 0, type_, (const BYTE *)old_.c_str(), (DWORD)old_.size() + 1);
        else
            RegDeleteValueA(key, name_.c_str());
        RegCloseKey(key);
    }

private:
    std::string name_, old_;
    DWORD type_ = REG_EXPAND_SZ;
    bool hadValue_ = false;
};

std::vector<std::string> boxes;
int RecordBox(HWND, const char *text, const char *, UINT)
{
    boxes.push_back(text);
    return IDOK;
}

struct LinkContents {
    bool loaded = false;
    std::string path, arguments, description;
};

LinkContents ReadLink(const std::string &file)
{
    LinkContents contents;
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)))
        return contents;
    IPersistFile *persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&persist))) {
        std::wstring wide(file.begin(), file.end());
        if (SUCCEEDED(persist->Load(wide.c_str(), STGM_READ))) {
            char text[MAX_PATH] = "";
            contents.loaded = true;
            link->GetPath(text, sizeof(text), nullptr, SLGP_RAWPATH);
            contents.path = text;
            text[0] = '\0';
            link->GetArguments(text, sizeof(text));
            contents.arguments = text;
            text[0] = '\0';
            link->GetDescription(text, sizeof(text));
            contents.description = text;
        }
        persist->Release();
    }
    link->Release();
    return contents;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ProgramPath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    return std::string(path, length);
}

class Shortcuts : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        CreateDirectoryA(desktop.c_str(), nullptr);
        CreateDirectoryA(startup.c_str(), nullptr);
        boxes.clear();
        SetMessageBoxHandler(RecordBox);
        ResetGlobalSettings();
        char found[MAX_PATH] = "";
        SHGetFolderPathA(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, found);
        ASSERT_EQ(std::string(found) + "\\", desktop) << "the desktop folder could not be redirected";
    }
    void TearDown() override
    {
        SetMessageBoxHandler(nullptr);
        ClearConfigTable();
        CoUninitialize();
    }
    int AddConfig(const char *description)
    {
        BackupConfig config;
        ZeroMemory(&config, sizeof(config));
        lstrcpynA(config.description, description, sizeof(config.description));
        config.uniqueId = ++configTable.lastUniqueId + 40;
        EXPECT_EQ(AppendConfig(&config), 1);
        return configTable.configCount - 1;
    }

    ScratchFolder folder;
    std::string desktop = folder.path + "Desktop\\";
    std::string startup = folder.path + "Startup\\";
    ShellFolderRedirect desktopRedirect{"Desktop", desktop.substr(0, desktop.size() - 1)};
    ShellFolderRedirect startupRedirect{"Startup", startup.substr(0, startup.size() - 1)};
};

TEST_F(Shortcuts, DesktopLinkIsNamedAfterTheCleanDescriptionAndRunsTheConfiguration)
{
    int index = AddConfig("Daily: \"Documents\" <all>");
    int id = ConfigAt(index)->uniqueId;
    ASSERT_EQ(CreateDesktopShortcut(nullptr, index), 1);
    std::string link = desktop + "Daily Documents all.LNK";
    LinkContents contents = ReadLink(link);
    ASSERT_TRUE(contents.loaded) << link;
    EXPECT_EQ(contents.arguments, "/exitwhendone /run=" + std::to_string(id));
    EXPECT_STREQ(contents.path.c_str(), ProgramPath().c_str());
    EXPECT_EQ(contents.description, "Daily Documents all");
    EXPECT_TRUE(boxes.empty());

    // A second time for the same configuration updates the same file.
    lstrcpyA(ConfigAt(index)->description, "Daily: \"Documents\" <all>");
    ConfigAt(index)->uniqueId = id + 1;
    ASSERT_EQ(CreateDesktopShortcut(nullptr, index), 1);
    EXPECT_EQ(ReadLink(link).arguments, "/exitwhendone /run=" + std::to_string(id + 1));
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((desktop + "*.LNK").c_str(), &entry);
    int count = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do
            ++count;
        while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    EXPECT_EQ(count, 1);
}

TEST_F(Shortcuts, ADescriptionTooLongForThePathIsRefusedWithAMessage)
{
    // The desktop path is made long enough that a full description passes 259 characters.
    std::string deep = desktop + std::string(130, 'd');
    ASSERT_TRUE(CreateDirectoryA(deep.c_str(), nullptr));
    ShellFolderRedirect deepDesktop("Desktop", deep);
    char found[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, found);
    ASSERT_EQ(std::string(found), deep);
    size_t room = 259 - deep.size() - 5; // the longest name that still fits
    int fits = AddConfig(std::string(room, 'a').c_str());
    int tooLong = AddConfig(std::string(room + 1, 'b').c_str());

    EXPECT_EQ(CreateDesktopShortcut(nullptr, tooLong), 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], "Path too long, shorten description name");
    EXPECT_FALSE(Exists(deep + "\\" + std::string(room + 1, 'b') + ".LNK"));

    EXPECT_EQ(CreateDesktopShortcut(nullptr, fits), 1);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(Shortcuts, StartupLinkFollowsTheOption)
{
    std::string link = startup + "Velloran.lnk";
    // Off with no link: nothing to delete.
    gSettings.inStartup = 0;
    EXPECT_EQ(UpdateStartupShortcut(nullptr), 0);
    EXPECT_FALSE(Exists(link));

    gSettings.inStartup = 1;
    ASSERT_EQ(UpdateStartupShortcut(nullptr), 1);
    LinkContents contents = ReadLink(link);
    ASSERT_TRUE(contents.loaded);
    EXPECT_EQ(contents.arguments, "/hidden");
    EXPECT_EQ(contents.description, "Velloran");
    EXPECT_STREQ(contents.path.c_str(), ProgramPath().c_str());

    gSettings.inStartup = 0;
    EXPECT_EQ(UpdateStartupShortcut(nullptr), 1);
    EXPECT_FALSE(Exists(link));
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
