// Help access against the HTML Help double: which control is loaded (class registration,
// expanded paths, the fallback name, a failure remembered) and what HtmlHelpA is asked.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EditorTestSupport.h"
#include "HelpAccess.h"
#include "MsvcrtFormat.h"
#include "resource.h"

namespace {

const char kClassKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

// Replaces the control's registered file for one test and puts the original back.
class RegisteredControl {
public:
    RegisteredControl()
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, KEY_READ, &key) == ERROR_SUCCESS) {
            DWORD size = sizeof original;
            hadValue = RegQueryValueExA(key, nullptr, nullptr, &originalType, (BYTE *)original, &size) == ERROR_SUCCESS;
            originalSize = size;
            RegCloseKey(key);
            hadKey = true;
        }
    }
    ~RegisteredControl()
    {
        if (!hadKey) {
            RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
            return;
        }
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) ==
            ERROR_SUCCESS) {
            if (hadValue)
                RegSetValueExA(key, nullptr, 0, originalType, (const BYTE *)original, originalSize);
            else
                RegDeleteValueA(key, nullptr);
            RegCloseKey(key);
        }
    }
    bool Set(const std::string &value, DWORD type)
    {
        HKEY key;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kClassKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return false;
        bool set = RegSetValueExA(key, nullptr, 0, type, (const BYTE *)value.c_str(), (DWORD)value.size() + 1) ==
                   ERROR_SUCCESS;
        RegCloseKey(key);
        return set;
    }
    bool Remove()
    {
        LONG status = RegDeleteKeyA(HKEY_CLASSES_ROOT, kClassKey);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }

private:
    bool hadKey = false, hadValue = false;
    char original[1024] = "";
    DWORD originalType = REG_SZ, originalSize = 0;
};

std::string ProgramFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    *(strrchr(path, '\\') + 1) = '\0';
    return path;
}

int loadCount = 0;
HMODULE FailToLoad(const char *path)
{
    ++loadCount;
    helpLoadRequests.push_back(path);
    return nullptr;
}

HMODULE LoadModuleWithoutEntry(const char *path)
{
    ++loadCount;
    helpLoadRequests.push_back(path);
    return GetModuleHandleA(nullptr);  // the test program exports nothing
}

class HelpAccess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetHtmlHelpForTesting();
        helpLoadRequests.clear();
        loadCount = 0;
        ClearHelpCalls();
    }
    void TearDown() override
    {
        SetHelpLibraryLoaderForTesting(nullptr);
        ResetHtmlHelpForTesting();
    }
    RegisteredControl registration;
};

TEST_F(HelpAccess, RegisteredControlIsLoadedAndAskedForTopicThenKeyword)
{
    ASSERT_TRUE(registration.Set(HelpDoublePath(), REG_SZ));
    char found[MAX_PATH] = "";
    ASSERT_EQ(FindHtmlHelpControl(found), 1);
    EXPECT_EQ(std::string(found), HelpDoublePath());

    EXPECT_EQ(ShowHelpTopic(nullptr, IDS_HELPKEY_CFG_GENERAL), 1);
    std::string chm = ProgramFolder() + "Korrin.chm";
    std::vector<std::string> calls = HelpCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], "0 '" + chm + ">mywin' data=0");
    EXPECT_EQ(calls[1], "13 '" + chm +
                            "' " HELP_LINK_SIZE " reserved=0 keywords='configuration editor - general' url=(null) msg=(null) "
                            "title=(null) window=(null) indexOnFail=1");
}

TEST_F(HelpAccess, ExpandablePathIsExpandedBeforeLoading)
{
    std::string folder = ProgramFolder();
    folder.pop_back();
    SetEnvironmentVariableA("VELLORAN_HELP_DOUBLE_DIR", folder.c_str());
    ASSERT_TRUE(registration.Set("%VELLORAN_HELP_DOUBLE_DIR%\\hhctrl_double.dll", REG_EXPAND_SZ));
    char found[MAX_PATH] = "";
    ASSERT_EQ(FindHtmlHelpControl(found), 1);
    EXPECT_EQ(std::string(found), HelpDoublePath());
    EXPECT_EQ(CallHtmlHelp(nullptr, "x.chm", 0, 0), (INT_PTR)0x4242);
    EXPECT_EQ(HelpCalls().size(), 1u);
    SetEnvironmentVariableA("VELLORAN_HELP_DOUBLE_DIR", nullptr);
}

TEST_F(HelpAccess, ExpansionThatDoesNotFitIsNotAPath)
{
    SetEnvironmentVariableA("VELLORAN_HELP_LONG", std::string(300, 'x').c_str());
    ASSERT_TRUE(registration.Set("C:\\%VELLORAN_HELP_LONG%\\hh.dll", REG_EXPAND_SZ));
    char found[MAX_PATH] = "";
    EXPECT_EQ(FindHtmlHelpControl(found), 0);
    SetEnvironmentVariableA("VELLORAN_HELP_LONG", nullptr);
}

TEST_F(HelpAccess, WithoutRegistrationTheControlIsLoadedByNameAndAFailureIsRemembered)
{
    ASSERT_TRUE(registration.Remove());
    char found[MAX_PATH] = "";
    EXPECT_EQ(FindHtmlHelpControl(found), 0);
    SetHelpLibraryLoaderForTesting(FailToLoad);
    EXPECT_EQ(CallHtmlHelp(nullptr, "x.chm", 0, 0), 0);
    ASSERT_EQ(helpLoadRequests.size(), 1u);
    EXPECT_EQ(helpLoadRequests[0], "hhctrl.ocx");
    EXPECT_EQ(ShowHelpTopic(nullptr, IDS_HELPKEY_OPTIONS), 1);
    ShowControlHelpPopup(nullptr, 1000, "Options.txt");
    EXPECT_EQ(loadCount, 1);
}

TEST_F(HelpAccess, RegisteredFileThatDoesNotLoadFallsBackToTheName)
{
    ASSERT_TRUE(registration.Set("C:\\nowhere\\hhctrl.ocx", REG_SZ));
    SetHelpLibraryLoaderForTesting(FailToLoad);
    EXPECT_EQ(CallHtmlHelp(nullptr, "x.chm", 0, 0), 0);
    ASSERT_EQ(helpLoadRequests.size(), 2u);
    EXPECT_EQ(helpLoadRequests[0], "C:\\nowhere\\hhctrl.ocx");
    EXPECT_EQ(helpLoadRequests[1], "hhctrl.ocx");
}

TEST_F(HelpAccess, ModuleWithoutTheEntryIsAFailureRemembered)
{
    SetHelpLibraryLoaderForTesting(LoadModuleWithoutEntry);
    EXPECT_EQ(CallHtmlHelp(nullptr, "x.chm", 0, 0), 0);
    EXPECT_EQ(CallHtmlHelp(nullptr, "x.chm", 0, 0), 0);
    EXPECT_EQ(loadCount, 1);
}

TEST_F(HelpAccess, ControlPopupAsksForTheControlsTopicAtItsCentre)
{
    ASSERT_TRUE(registration.Set(HelpDoublePath(), REG_SZ));
    HWND dialog = CreateWindowExA(0, "STATIC", "", WS_POPUP, 100, 200, 300, 300, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    HWND control = CreateWindowExA(0, "BUTTON", "", WS_CHILD, 10, 20, 60, 30, dialog, (HMENU)1008, nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    RECT box;
    GetWindowRect(control, &box);
    ShowControlHelpPopup(dialog, 1008, "CfgGeneral.txt");
    DestroyWindow(dialog);
    std::vector<std::string> calls = HelpCalls();
    ASSERT_EQ(calls.size(), 1u);
    char expected[600];
    FormatText(expected, sizeof expected,
               "14 '%sKorrin.chm::/popups\\CfgGeneral.txt' " HELP_POPUP_SIZE " instance=0 id=1008 text='' x=%d y=%d fg=-1 "
               "bg=-1 margins=-1,-1,-1,-1 font='Verdana, 8'",
               ProgramFolder().c_str(), (int)(box.left + (box.right - box.left) / 2),
               (int)(box.top + (box.bottom - box.top) / 2));
    EXPECT_EQ(calls[0], expected);
}

}  // namespace
