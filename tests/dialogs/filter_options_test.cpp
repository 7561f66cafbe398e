// Filter options: the extension rule, where an excluded item may go, and the dialog itself with
// its warnings, its OK checks, a failed allocation on OK and dropped files.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "AllocationSeam.h"
#include "ConfigTable.h"
#include "DialogTestSupport.h"
#include "FilterOptionsDialog.h"
#include "GlobalSettings.h"
#include "resource.h"

namespace {

const char kFilterTitle[] = "Filter Options";
const char kOutsideTitle[] = "Excluded Item Not In A Backup Source";
const char kIllegalTitle[] = "Illegal Excluded Item";
const char kExtensionTitle[] = "Filename Extension";

struct ExtensionCase {
    const char *typed;
    const char *expected;  // NULL when refused
    const char *problem;
};

TEST(ExtensionRule, TypedTextBecomesALowerCaseExtensionOrIsRefused)
{
    const ExtensionCase cases[] = {
        {"TXT", ".txt", nullptr},
        {"*.TXT", ".txt", nullptr},
        {"a.b.c", ".b.c", nullptr},
        {"Doc \t", ".doc", nullptr},
        {"abcdefg", ".abcdefg", nullptr},
        {".", nullptr, "Extension too short"},
        {"", nullptr, "Extension too short"},
        {"abcdefgh", nullptr, "Extension too long"},
    };
    for (const ExtensionCase &c : cases) {
        char out[9] = "unset";
        const char *problem = NormalizeExtension(c.typed, out);
        if (c.expected != nullptr) {
            EXPECT_EQ(problem, nullptr) << c.typed;
            EXPECT_STREQ(out, c.expected) << c.typed;
        } else {
            EXPECT_STREQ(problem, c.problem) << c.typed;
        }
    }
}

class FilterDialog : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        memset(&config, 0, sizeof config);
        SetSources({"C:\\Data\\"});
        config.extensions = (ExtensionEntry *)calloc(1, 1);
        config.excludedItems = (ExcludedEntry *)calloc(1, 1);
        gSettings.warnBadExclusions = 1;
    }
    void TearDown() override
    {
        FailAllocationForTesting(0);
        FreeConfigArrays(&config);
        EditorTest::TearDown();
    }
    void SetSources(const std::vector<std::string> &paths)
    {
        free(config.sources);
        config.sources = (SourceItem *)calloc(paths.size() + 1, sizeof(SourceItem));
        for (size_t i = 0; i < paths.size(); ++i)
            lstrcpynA(config.sources[i].path, paths[i].c_str(), sizeof(SourceItem::path));
        config.sourceCount = (int32_t)paths.size();
    }
    void SetLists(const std::vector<std::string> &extensions, const std::vector<std::string> &excluded)
    {
        free(config.extensions);
        free(config.excludedItems);
        config.extensions = (ExtensionEntry *)calloc(extensions.size() + 1, sizeof(ExtensionEntry));
        config.excludedItems = (ExcludedEntry *)calloc(excluded.size() + 1, sizeof(ExcludedEntry));
        for (size_t i = 0; i < extensions.size(); ++i)
            lstrcpynA(config.extensions[i], extensions[i].c_str(), sizeof(ExtensionEntry));
        for (size_t i = 0; i < excluded.size(); ++i)
            lstrcpynA(config.excludedItems[i], excluded[i].c_str(), sizeof(ExcludedEntry));
        config.extensionCount = (int32_t)extensions.size();
        config.excludedCount = (int32_t)excluded.size();
    }
    INT_PTR Run(const std::function<void(HWND)> &drive)
    {
        return RunModal(kFilterTitle,
                        [&] {
                            return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_FILTER_OPTIONS),
                                                   nullptr, FilterOptionsDialogProc, (LPARAM)&config);
                        },
                        drive);
    }
    // Posts the path as the choosers and drops do; the text must outlive the handling.
    void Add(HWND dialog, const char *path)
    {
        PostMessageA(dialog, WM_ADDITEM, 0, (LPARAM)path);
        Settle(dialog);
    }
    std::vector<std::string> Excluded(HWND dialog) { return ListEntries(GetDlgItem(dialog, IDC_FILTER_EXCLUDED)); }
    std::vector<std::string> Extensions(HWND dialog) { return ListEntries(GetDlgItem(dialog, IDC_FILTER_EXTENSIONS)); }
    BackupConfig config;
};

TEST_F(FilterDialog, ExcludedItemsArePlacedAgainstTheSources)
{
    const struct {
        const char *item;
        ExcludedItemPlace place;
    } cases[] = {
        {"C:\\", ExcludedItemPlace::Refused},
        {"C:\\Data\\", ExcludedItemPlace::Refused},
        {"c:\\data", ExcludedItemPlace::Refused},
        {"C:\\Data\\Temp\\", ExcludedItemPlace::InsideSource},
        {"c:\\DATA\\a.txt", ExcludedItemPlace::InsideSource},
        {"D:\\Other\\", ExcludedItemPlace::OutsideSources},
        {"C:\\Database\\x", ExcludedItemPlace::OutsideSources},
    };
    for (const auto &c : cases)
        EXPECT_EQ((int)PlaceExcludedItem(config, c.item), (int)c.place) << c.item;
}

TEST_F(FilterDialog, WarningsGuardTheExcludedListUntilTheyAreTurnedOff)
{
    SharedBoxRecorder boxes;
    std::string illegalPath;
    bool outsideAsked = false, askedAgain = true;
    INT_PTR result = Run([&](HWND dialog) {
        Add(dialog, "C:\\");
        HWND illegal = WaitForWindow(kIllegalTitle);
        ASSERT_NE(illegal, nullptr);
        illegalPath = ControlText(illegal, IDC_ILLEGAL_EXCLUDED_PATH);
        PostMessageA(illegal, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(illegal); });

        Add(dialog, "C:\\Data\\Temp\\");
        Add(dialog, "c:\\data\\temp\\");  // the same item again

        Add(dialog, "D:\\Other\\");
        HWND outside = WaitForWindow(kOutsideTitle);
        outsideAsked = outside != nullptr;
        ASSERT_NE(outside, nullptr);
        ClickButton(outside, IDC_OUTSIDE_SOURCE_DONT_WARN);
        PostMessageA(outside, WM_COMMAND, IDCANCEL, 0);
        WaitUntil([&] { return !IsWindow(outside); });

        Add(dialog, "E:\\More\\");
        askedAgain = FindWindowA("#32770", kOutsideTitle) != nullptr;
        EXPECT_EQ(Excluded(dialog), (std::vector<std::string>{"C:\\Data\\Temp\\", "E:\\More\\"}));
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(illegalPath, "C:\\");
    EXPECT_TRUE(outsideAsked);
    EXPECT_FALSE(askedAgain);
    EXPECT_EQ(gSettings.warnBadExclusions, 0);
    EXPECT_EQ(result, 1);
    ASSERT_EQ(config.excludedCount, 2);
    EXPECT_STREQ(config.excludedItems[0], "C:\\Data\\Temp\\");
    EXPECT_STREQ(config.excludedItems[1], "E:\\More\\");
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(FilterDialog, ClosingTheOutsideWarningFromItsTitleBarIsNo)
{
    Run([&](HWND dialog) {
        Add(dialog, "D:\\Other\\");
        HWND outside = WaitForWindow(kOutsideTitle);
        ASSERT_NE(outside, nullptr);
        PostMessageA(outside, WM_SYSCOMMAND, SC_CLOSE, 0);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(outside); }, 3000));
        EXPECT_TRUE(Excluded(dialog).empty());
        // Yes adds it.
        Add(dialog, "D:\\Other\\");
        outside = WaitForWindow(kOutsideTitle);
        ASSERT_NE(outside, nullptr);
        PostMessageA(outside, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(outside); });
        EXPECT_EQ(Excluded(dialog), std::vector<std::string>{"D:\\Other\\"});
    });
    EXPECT_EQ(gSettings.warnBadExclusions, 1);
}

TEST_F(FilterDialog, OkRewritesTheArraysOnlyAfterAChange)
{
    SetLists({"tmp"}, {"C:\\Data\\Cache\\"});
    config.filterFlags = SkipSystem;
    ExtensionEntry *extensions = config.extensions;
    ExcludedEntry *excluded = config.excludedItems;
    EXPECT_EQ(Run([](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDOK, 0); }), 0);
    EXPECT_EQ(config.extensions, extensions);
    EXPECT_EQ(config.excludedItems, excluded);
    EXPECT_EQ(config.filterFlags, SkipSystem);

    std::vector<std::string> shown;
    EXPECT_EQ(Run([&](HWND dialog) {
                  shown = Extensions(dialog);
                  ClickButton(dialog, IDC_FILTER_SKIP_HIDDEN);
                  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
              }),
              1);
    EXPECT_EQ(shown, std::vector<std::string>{".tmp"});
    EXPECT_EQ(config.filterFlags, SkipSystem | SkipHidden);
    ASSERT_EQ(config.extensionCount, 1);
    EXPECT_STREQ(config.extensions[0], "tmp");
    ASSERT_EQ(config.excludedCount, 1);
    EXPECT_STREQ(config.excludedItems[0], "C:\\Data\\Cache\\");
}

TEST_F(FilterDialog, ExtensionsAreAddedEditedAndRemovedThroughTheirDialog)
{
    SharedBoxRecorder boxes;
    Run([&](HWND dialog) {
        PostClick(dialog, IDC_FILTER_ADD_EXTENSION);
        HWND extension = WaitForWindow(kExtensionTitle);
        ASSERT_NE(extension, nullptr);
        SetControlText(extension, IDC_EXTENSION_TEXT, "*.TMP");
        PostMessageA(extension, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(extension); });
        EXPECT_EQ(Extensions(dialog), std::vector<std::string>{".tmp"});

        SendDlgItemMessageA(dialog, IDC_FILTER_EXTENSIONS, LB_SETCURSEL, 0, 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_FILTER_EXTENSIONS, LBN_SELCHANGE), 0);
        PostClick(dialog, IDC_FILTER_EDIT_EXTENSION);
        extension = WaitForWindow(kExtensionTitle);
        ASSERT_NE(extension, nullptr);
        EXPECT_EQ(ControlText(extension, IDC_EXTENSION_TEXT), ".tmp");
        SetControlText(extension, IDC_EXTENSION_TEXT, ".");
        SendMessageA(extension, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(IsWindow(extension)) << "a dot alone is refused";
        SetControlText(extension, IDC_EXTENSION_TEXT, "Log");
        PostMessageA(extension, WM_COMMAND, IDOK, 0);
        WaitUntil([&] { return !IsWindow(extension); });
        EXPECT_EQ(Extensions(dialog), std::vector<std::string>{".log"});
        ClickButton(dialog, IDC_FILTER_INCLUDE);
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Extension too short"});
    ASSERT_EQ(config.extensionCount, 1);
    EXPECT_STREQ(config.extensions[0], "log");
    EXPECT_EQ(config.filterFlags & IncludeListedExtensions, IncludeListedExtensions);
}

TEST_F(FilterDialog, AnItemThatCoversASourceAddedLaterIsCaughtByOk)
{
    SharedBoxRecorder boxes;
    SetLists({}, {"C:\\Data\\Sub\\"});
    SetSources({"C:\\Data\\Sub\\Deep\\"});
    bool stayed = false;
    EXPECT_EQ(Run([&](HWND dialog) {
                  SendMessageA(dialog, WM_COMMAND, IDOK, 0);
                  stayed = IsWindowVisible(dialog) != FALSE;
              }),
              0);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Illegal excluded item.\n\nExcluded Item: C:\\Data\\Sub\\\n\n"
                                                      "Conflicts with source: C:\\Data\\Sub\\Deep\\"});
}

// A failed allocation on OK must not drop the configuration's lists.
TEST_F(FilterDialog, FailedAllocationOnOkKeepsTheListsAndStaysOpen)
{
    SharedBoxRecorder boxes;
    SetLists({"tmp", "bak"}, {"C:\\Data\\Cache\\"});
    ExtensionEntry *extensions = config.extensions;
    bool stayed = false;
    int32_t countsDuringFailure[2] = {-1, -1};
    EXPECT_EQ(Run([&](HWND dialog) {
                  ClickButton(dialog, IDC_FILTER_SKIP_HIDDEN);
                  FailAllocationForTesting(2);  // the excluded items' new array
                  SendMessageA(dialog, WM_COMMAND, IDOK, 0);
                  stayed = IsWindowVisible(dialog) != FALSE;
                  countsDuringFailure[0] = config.extensionCount;
                  countsDuringFailure[1] = config.excludedCount;
                  EXPECT_EQ(config.extensions, extensions);
                  EXPECT_EQ(config.filterFlags & SkipHidden, 0);
                  SendMessageA(dialog, WM_COMMAND, IDOK, 0);
              }),
              1);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(countsDuringFailure[0], 2);
    EXPECT_EQ(countsDuringFailure[1], 1);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Error: Unable to allocate memory"});
    EXPECT_EQ(boxes.Types(), std::vector<UINT>{MB_ICONWARNING});
    ASSERT_EQ(config.extensionCount, 2);
    EXPECT_STREQ(config.extensions[0], "bak");
    EXPECT_STREQ(config.extensions[1], "tmp");
    EXPECT_EQ(config.excludedCount, 1);
    EXPECT_EQ(config.filterFlags & SkipHidden, SkipHidden);
}

}  // namespace
