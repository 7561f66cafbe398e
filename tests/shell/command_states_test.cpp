// Command states for the selection and a running job, the row menu, and the rule that the
// main window's accelerators wait while a configuration is being renamed.
#include "ShellTestSupport.h"

#include <commctrl.h>

#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "JobControl.h"
#include "JobList.h"
#include "MessageLoop.h"
#include "ShellState.h"
#include "resource.h"

namespace {

const int kSelectionCommands[] = {IDM_EDIT, IDM_DELETE, IDM_COPY, IDM_RUN, IDM_VIEWLOG};

class CommandStatesTest : public JobListTest {
protected:
    void SetUp() override
    {
        JobListTest::SetUp();
        menu = LoadMenuA(programInstance, MAKEINTRESOURCEA(IDR_MAINMENU));
        ASSERT_NE(menu, nullptr);
        mainMenu = menu;
        toolbar = CreateWindowExA(0, TOOLBARCLASSNAMEA, "", WS_CHILD | TBSTYLE_LIST, 0, 0, 0, 0, parent, nullptr,
                                  programInstance, nullptr);
        ASSERT_NE(toolbar, nullptr);
        SendMessageA(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        const int ids[] = {IDM_NEW, IDM_EDIT, IDM_DELETE, IDM_COPY, IDM_RUN, IDM_VIEWLOG};
        TBBUTTON buttons[6] = {};
        for (int i = 0; i < 6; ++i) {
            buttons[i].iBitmap = i;
            buttons[i].idCommand = ids[i];
            buttons[i].fsState = TBSTATE_ENABLED;
            buttons[i].fsStyle = BTNS_BUTTON;
        }
        SendMessageA(toolbar, TB_ADDBUTTONSA, 6, (LPARAM)buttons);
    }
    void TearDown() override
    {
        mainMenu = nullptr;
        if (menu != nullptr)
            DestroyMenu(menu);
        JobListTest::TearDown();
    }
    bool ItemEnabled(HMENU from, int id) { return (GetMenuState(from, (UINT)id, MF_BYCOMMAND) & MF_GRAYED) == 0; }
    bool ButtonEnabled(int id) { return SendMessageA(toolbar, TB_ISBUTTONENABLED, (WPARAM)id, 0) != 0; }
    bool Available(int id) { return ItemEnabled(menu, id) && ButtonEnabled(id); }
    bool Unavailable(int id) { return !ItemEnabled(menu, id) && !ButtonEnabled(id); }
    std::string ItemText(HMENU from, int id)
    {
        char text[64] = "";
        GetMenuStringA(from, (UINT)id, text, sizeof(text), MF_BYCOMMAND);
        return text;
    }
    void RunButton(std::string *text, int *image)
    {
        char buffer[64] = "";
        TBBUTTONINFOA info = {};
        info.cbSize = sizeof(info);
        info.dwMask = TBIF_TEXT | TBIF_IMAGE;
        info.pszText = buffer;
        info.cchText = sizeof(buffer);
        SendMessageA(toolbar, TB_GETBUTTONINFOA, IDM_RUN, (LPARAM)&info);
        *text = buffer;
        *image = info.iImage;
    }

    HMENU menu = nullptr;
    HWND toolbar = nullptr;
};

}  // namespace

TEST_F(CommandStatesTest, WithoutASelectionOnlyTheGeneralCommandsAreAvailable)
{
    AddConfig("Alpha");
    ASSERT_EQ(RebuildJobList(-1), 1);
    SelectConfig(-1);
    ApplyCommandStates(menu, toolbar);
    for (int id : kSelectionCommands)
        EXPECT_TRUE(Unavailable(id)) << id;
    EXPECT_TRUE(Available(IDM_NEW));
    EXPECT_TRUE(ItemEnabled(menu, IDM_OPTIONS));
    EXPECT_TRUE(ItemEnabled(menu, IDM_COMBINE));

    jobActive = 1;
    ApplyCommandStates(menu, toolbar);
    EXPECT_TRUE(Unavailable(IDM_NEW));
    EXPECT_FALSE(ItemEnabled(menu, IDM_OPTIONS));
    EXPECT_FALSE(ItemEnabled(menu, IDM_COMBINE));
    for (int id : kSelectionCommands)
        EXPECT_TRUE(Unavailable(id)) << id;
}

TEST_F(CommandStatesTest, SelectedConfigurationDecidesRunEditAndViewLog)
{
    int idle = AddConfig("Idle");
    int disabled = AddConfig("Disabled");
    int running = AddConfig("Running");
    Config(disabled)->flags &= ~Enabled;
    Config(running)->runCount = 2;
    ASSERT_EQ(RebuildJobList(idle), 1);
    std::string text;
    int image = -1;

    ApplyCommandStates(menu, toolbar);
    for (int id : {IDM_RUN, IDM_EDIT, IDM_COPY, IDM_DELETE})
        EXPECT_TRUE(Available(id)) << id;
    EXPECT_TRUE(Unavailable(IDM_VIEWLOG)); // never run: no log
    EXPECT_EQ(ItemText(menu, IDM_RUN), "&Run Now\tCtrl + R");
    RunButton(&text, &image);
    EXPECT_EQ(text, "Run Now");
    EXPECT_EQ(image, TBIMG_RUN);

    SelectConfig(disabled);
    ApplyCommandStates(menu, toolbar);
    EXPECT_TRUE(Unavailable(IDM_RUN));
    EXPECT_TRUE(Available(IDM_EDIT));

    // The running job's row offers Stop even though a job is active; editing waits.
    SetConfigRunning(Config(running), 1);
    jobActive = 1;
    SelectConfig(running);
    ApplyCommandStates(menu, toolbar);
    EXPECT_TRUE(Available(IDM_RUN));
    EXPECT_EQ(ItemText(menu, IDM_RUN), "&Stop\tCtrl + R");
    RunButton(&text, &image);
    EXPECT_EQ(text, "Stop");
    EXPECT_EQ(image, TBIMG_STOP);
    for (int id : {IDM_EDIT, IDM_COPY, IDM_DELETE, IDM_NEW})
        EXPECT_TRUE(Unavailable(id)) << id;
    EXPECT_TRUE(Available(IDM_VIEWLOG));

    // Another row while that job runs: Run Now again, but not available.
    SelectConfig(idle);
    ApplyCommandStates(menu, toolbar);
    EXPECT_EQ(ItemText(menu, IDM_RUN), "&Run Now\tCtrl + R");
    EXPECT_TRUE(Unavailable(IDM_RUN));
    SetConfigRunning(Config(running), 0);
}

TEST_F(CommandStatesTest, SelectionChangeUpdatesTheMenuBarWithoutAToolbar)
{
    AddConfig("Alpha");
    Config(0)->runCount = 1;
    ASSERT_EQ(RebuildJobList(-1), 1);
    SelectConfig(-1);
    EXPECT_FALSE(ItemEnabled(menu, IDM_EDIT));
    // Selecting a row notifies the parent, which updates the commands (no toolbar exists yet).
    SelectConfig(0);
    EXPECT_TRUE(ItemEnabled(menu, IDM_EDIT));
    EXPECT_TRUE(ItemEnabled(menu, IDM_VIEWLOG));
    SelectConfig(-1);
    EXPECT_FALSE(ItemEnabled(menu, IDM_EDIT));
}

TEST_F(CommandStatesTest, RowMenuFollowsTheRunningJob)
{
    int idle = AddConfig("Idle");
    int running = AddConfig("Running");
    ASSERT_EQ(RebuildJobList(idle), 1);
    auto loadPopup = [](HMENU *whole) {
        *whole = LoadMenuA(programInstance, MAKEINTRESOURCEA(IDR_LISTVIEW));
        return GetSubMenu(*whole, 0);
    };
    HMENU whole = nullptr;
    HMENU popup = loadPopup(&whole);
    PrepareJobListMenu(popup);
    for (int id : {IDM_EDIT, IDM_DELETE, IDM_COPY, IDM_RUN})
        EXPECT_TRUE(ItemEnabled(popup, id)) << id;
    EXPECT_EQ(ItemText(popup, IDM_RUN), "&Run Now");
    DestroyMenu(whole);

    jobActive = 1;
    SetConfigRunning(Config(running), 1);
    popup = loadPopup(&whole);
    PrepareJobListMenu(popup);
    for (int id : {IDM_EDIT, IDM_DELETE, IDM_COPY, IDM_RUN})
        EXPECT_FALSE(ItemEnabled(popup, id)) << id;
    DestroyMenu(whole);

    SelectConfig(running);
    popup = loadPopup(&whole);
    PrepareJobListMenu(popup);
    EXPECT_EQ(ItemText(popup, IDM_RUN), "&Stop");
    EXPECT_TRUE(ItemEnabled(popup, IDM_RUN));
    EXPECT_FALSE(ItemEnabled(popup, IDM_EDIT));
    EXPECT_TRUE(ItemEnabled(popup, IDM_SHORTCUT));
    DestroyMenu(whole);
    SetConfigRunning(Config(running), 0);
}

TEST_F(CommandStatesTest, AcceleratorsWaitWhileALabelIsEdited)
{
    HACCEL accelerators = LoadAcceleratorsA(programInstance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    ASSERT_NE(accelerators, nullptr);
    AddConfig("Alpha");
    ASSERT_EQ(RebuildJobList(0), 1);
    BYTE keys[256] = {};
    auto press = [&](HWND target, WPARAM key, bool control) {
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        MSG message = {target, WM_KEYDOWN, key, 1, 0, {0, 0}};
        return TranslateMainAccelerator(parent, accelerators, &message);
    };

    EXPECT_EQ(press(list, VK_DELETE, false), 1);
    EXPECT_EQ(press(list, 'C', true), 1);
    EXPECT_EQ(commands, (std::vector<UINT>{IDM_DELETE, IDM_COPY}));

    commands.clear();
    SetFocus(list);
    HWND edit = (HWND)SendMessageA(list, LVM_EDITLABELA, 0, 0);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(press(edit, VK_DELETE, false), 0);
    EXPECT_EQ(press(edit, 'C', true), 0);
    EXPECT_EQ(press(edit, 'R', true), 0);
    EXPECT_TRUE(commands.empty());

    // Escape cancels the edit; the accelerators work again.
    SendMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
    SendMessageA(edit, WM_CHAR, VK_ESCAPE, 0);
    PumpMessages();
    ASSERT_EQ(IsJobListLabelEditing(), 0);
    EXPECT_STREQ(Config(0)->description, "Alpha");
    EXPECT_EQ(press(list, VK_DELETE, false), 1);
    EXPECT_EQ(commands, (std::vector<UINT>{IDM_DELETE}));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    DestroyAcceleratorTable(accelerators);
}
