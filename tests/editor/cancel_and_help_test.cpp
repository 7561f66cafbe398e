// What every small modal dialog answers alike: its Help button opens its topic, F1 on a
// control shows that control's popup, and the close box ends it as Cancel does.
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ConfigTable.h"
#include "DateFilterDialog.h"
#include "DialogHelpers.h"
#include "EditorTestSupport.h"
#include "FilterOptionsDialog.h"
#include "OptionsDialog.h"
#include "ResourceText.h"
#include "SplitZipDialog.h"
#include "resource.h"

namespace {

class CancelAndHelp : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SetNewConfigDefaults();
        record = editedConfig;
    }
    void TearDown() override
    {
        FreeConfigArrays(&editedConfig);
        EditorTest::TearDown();
    }
    BackupConfig record;
    char extension[16] = ".txt";
};

TEST_F(CancelAndHelp, EveryDialogAnswersHelpF1AndItsCloseBoxAlike)
{
    const struct {
        const char *title;
        std::function<INT_PTR()> open;
        int helpButton, topic, popupControl;
        const char *popupFile;
    } dialogs[] = {
        {"Split Compressed ZIP", [&] { return (INT_PTR)OpenSplitZipDialog(nullptr, &record); }, IDC_SPLIT_HELP,
         IDS_HELPKEY_SPLIT_ZIP, IDC_SPLIT_UNIT, "SplitZIP.txt"},
        {"Compressed ZIP Date Filter", [&] { return (INT_PTR)OpenDateFilterDialog(nullptr, &record); },
         IDC_DATEFILTER_HELP, IDS_HELPKEY_ZIP_DATE_FILTER, IDC_DATEFILTER_EVERY_COUNT, "DateFilterZIP.txt"},
        {"Filter Options", [] { return (INT_PTR)OpenFilterOptions(nullptr); }, IDC_FILTER_HELP,
         IDS_HELPKEY_FILTER_OPTIONS, IDC_FILTER_EXTENSIONS, "FilterOptions.txt"},
        {"Filename Extension",
         [&] { return OpenModalDialog(IDD_EXTENSION, nullptr, ExtensionDialogProc, (LPARAM)extension); },
         IDC_EXTENSION_HELP, IDS_HELPKEY_FILE_EXTENSION, IDC_EXTENSION_TEXT, "FileExtension.txt"},
        {"Options", [] { return OpenModalDialog(IDD_OPTIONS, nullptr, OptionsDialogProc, 0); }, IDC_OPTIONS_HELP,
         IDS_HELPKEY_OPTIONS, IDC_OPTIONS_VERBOSE_LOG, "Options.txt"},
        {"E-Mail Backup Results",
         [] { return OpenModalDialog(IDD_JOBRESULT_EMAIL, nullptr, JobResultEmailDialogProc, 0); }, IDC_JR_HELP,
         IDS_HELPKEY_JOBRESULT_EMAIL, IDC_MAIL_SERVER, "EmailRes.txt"},
    };
    for (const auto &d : dialogs) {
        SCOPED_TRACE(d.title);
        std::vector<std::string> button, popup;
        bool closedByItsBox = false;
        INT_PTR result = RunDialog(d.title, d.open, [&](HWND dialog) {
            ClearHelpCalls();
            Click(dialog, d.helpButton);
            button = HelpCalls();
            ClearHelpCalls();
            SendControlHelp(dialog, d.popupControl);
            popup = HelpCalls();
            SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            closedByItsBox = WaitUntil([&] { return !IsWindow(dialog); }, 2000);
        });
        char keyword[128];
        LoadResourceText((UINT)d.topic, keyword, sizeof keyword);
        ASSERT_EQ(button.size(), 2u);
        EXPECT_NE(button[1].find(std::string("keywords='") + keyword + "'"), std::string::npos) << button[1];
        ASSERT_EQ(popup.size(), 1u);
        EXPECT_NE(popup[0].find(std::string("popups\\") + d.popupFile + "' "), std::string::npos) << popup[0];
        EXPECT_NE(popup[0].find(" id=" + std::to_string(d.popupControl) + " "), std::string::npos) << popup[0];
        EXPECT_TRUE(closedByItsBox);
        EXPECT_EQ(result, 0);
    }
    EXPECT_STREQ(extension, ".txt");
}

}  // namespace
