// Menu help: the text of each popup and command, and its display in the status bar.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

#include "BarsTestSupport.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "ShellState.h"
#include "TrayAndStatus.h"
#include "resource.h"

namespace {

class MenuHelpTest : public BarsTest {
protected:
    void SetUp() override
    {
        BarsTest::SetUp();
        mainMenu = LoadMenuA(programInstance, MAKEINTRESOURCEA(IDR_MAINMENU));
        ASSERT_NE(mainMenu, nullptr);
        InitMenuHelp();
    }
    static std::string HelpText(UINT item, UINT flags, HMENU menu)
    {
        char text[256] = "?";
        GetMenuItemHelpText(MAKEWPARAM(item, flags), (LPARAM)menu, text, sizeof(text));
        return text;
    }
};

}  // namespace

TEST_F(MenuHelpTest, PopupsOfTheMenuBarAndTheHelpMenuHaveTheirTexts)
{
    HMENU help = GetSubMenu(mainMenu, 3);
    const struct {
        HMENU menu;
        UINT position;
        const char *text;
    } cases[] = {
        {mainMenu, 0, "Global options, hide or exit program"},
        {mainMenu, 1, "Manage backup configurations"},
        {mainMenu, 2, "View log or adjust displayed columns"},
        {mainMenu, 3, "Help operations"},
        {help, 2, "World Wide Web pages for Velloran"},
        {help, 4, "Miscellaneous Utilities"},
        // A popup in a menu that the table does not hold gets no text.
        {GetSubMenu(mainMenu, 1), 0, ""},
        {nullptr, 0, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HelpText(c.position, MF_POPUP | MF_HILITE, c.menu), c.text) << c.position;
    EXPECT_EQ(HelpText(0, MF_POPUP | MF_SYSMENU, GetSystemMenu(window, FALSE)), "");
    EXPECT_EQ(HelpText(SC_CLOSE, MF_SYSMENU | MF_HILITE, GetSystemMenu(window, FALSE)), "");
}

TEST_F(MenuHelpTest, CommandsShowTheStringWithTheirIdAndRunNowTurnsIntoStop)
{
    HMENU configurations = GetSubMenu(mainMenu, 1);
    const struct {
        UINT id;
        const char *text;
    } cases[] = {
        {IDM_NEW, "Create a new backup configuration"},
        {IDM_EDIT, "View or modify the selected backup configuration"},
        {IDM_DELETE, "Delete the selected backup configuration"},
        {IDM_COPY, "Make a duplicate copy of the selected backup configuration"},
        {IDM_RUN, "Run the selected backup configuration"},
        {IDM_VIEWLOG, "Display the backup log"},
        {IDM_COLUMNS, "Adjust which columns are displayed in the list view"},
        {IDM_EXIT, "Quit the program"},
        {IDM_HIDE, "Hide program to tray"},
        {IDM_OPTIONS, "Adjust program options"},
        {IDM_HELP, "Display the help contents"},
        {IDM_UPDATES, "See if there are any updates available"},
        {IDM_HOMEPAGE, "Visit Velloran's web site"},
        {IDM_COMBINE, "Recombine a split ZIP file"},
        {IDM_SHORTCUT, "Creates a shortcut on your desktop to run this backup configuration"},
        {IDM_LISTFONT, "Adjust the font and color for the list view text"},
        {IDM_RESTORE, ""},
        {0, ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(HelpText(c.id, MF_HILITE, configurations), c.text) << c.id;
    EXPECT_NE(HelpText(IDM_ABOUT, MF_HILITE, GetSubMenu(mainMenu, 3)), "");
    EXPECT_EQ(HelpText(0, MF_SEPARATOR, configurations), "");

    int first = AddConfig("First");
    int second = AddConfig("Second");
    MakeJobList(second);
    SetConfigRunning(ConfigAt(first), 1);
    EXPECT_EQ(HelpText(IDM_RUN, MF_HILITE, configurations), "Run the selected backup configuration");
    SetConfigRunning(ConfigAt(second), 1);
    EXPECT_EQ(HelpText(IDM_RUN, MF_HILITE, configurations), "Stop the selected backup configuration");
}

TEST_F(MenuHelpTest, StatusBarShowsTheHelpWhileTheMenuIsOpenAndItsPartsAfterwards)
{
    MakeJobList(-1);
    statusBarWindow = CreateStatusBar(window);
    ASSERT_NE(statusBarWindow, nullptr);
    LayOutStatusBarParts(700);
    EXPECT_EQ(StatusPartText(0), "No Jobs Scheduled");

    SendMessageA(window, WM_MENUSELECT, MAKEWPARAM(1, MF_POPUP | MF_HILITE), (LPARAM)mainMenu);
    EXPECT_TRUE(SendMessageA(statusBarWindow, SB_ISSIMPLE, 0, 0));
    EXPECT_EQ(StatusPartText(0), "Manage backup configurations");
    SendMessageA(window, WM_MENUSELECT, MAKEWPARAM(IDM_COPY, MF_HILITE), (LPARAM)GetSubMenu(mainMenu, 1));
    EXPECT_EQ(StatusPartText(0), "Make a duplicate copy of the selected backup configuration");
    // The once-a-second refresh leaves the help text alone.
    UpdateStatusBar();
    EXPECT_EQ(StatusPartText(0), "Make a duplicate copy of the selected backup configuration");

    SendMessageA(window, WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_FALSE(SendMessageA(statusBarWindow, SB_ISSIMPLE, 0, 0));
    EXPECT_EQ(StatusPartText(0), "No Jobs Scheduled");
    EXPECT_EQ(StatusPartText(1), "\tC 0");
}
