// The main window built in this process, as the program builds it, and taken down again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "JobControl.h"
#include "MainWindow.h"
#include "ShellState.h"
#include "resource.h"

namespace {

std::vector<std::string> steps;

void RecordStep(const char *step)
{
    steps.push_back(step);
}

void DrainMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT)
            DispatchMessageA(&message);
    }
}

TEST(MainWindowLife, CreatesTheStoreAndShutsDownInOrder)
{
    programInstance = GetModuleHandleA(nullptr);
    ASSERT_TRUE(RegisterMainWindowClass(programInstance));
    HWND window = CreateMainWindow(programInstance);
    ASSERT_NE(window, nullptr);
    DrainMessages();

    // A fresh data folder gets the empty store: the 16-byte header alone.
    WIN32_FILE_ATTRIBUTE_DATA store{};
    ASSERT_TRUE(GetFileAttributesExA(storePath, GetFileExInfoStandard, &store)) << storePath;
    EXPECT_EQ(store.nFileSizeLow, 16u);
    EXPECT_NE(GetDlgItem(window, 20100), nullptr);
    EXPECT_NE(GetDlgItem(window, 20200), nullptr);

    SetShutDownStepObserver(RecordStep);
    ShutDownMainWindow(window);
    SetShutDownStepObserver(nullptr);
    // Nothing may start once the end has begun, the table goes when no thread can use it,
    // and the tray icon goes while its window still exists.
    EXPECT_EQ(steps, (std::vector<std::string>{"timer and queue", "sizes", "jobs", "sizes", "settings",
                                               "tray icon", "window", "table"}));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(configTable.configCount, 0);
    EXPECT_EQ(singleInstanceMutex, nullptr);
    DrainMessages();

    // The settings were written at the end.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Dorvane Software\\Velloran\\CurrentVersion\\windows", 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);

    // A second shut-down does nothing.
    steps.clear();
    SetShutDownStepObserver(RecordStep);
    ShutDownMainWindow(window);
    SetShutDownStepObserver(nullptr);
    EXPECT_TRUE(steps.empty());
    UnregisterClassA("Velloran", programInstance);
    // The other tests of this program run with a program that has not begun to end.
    shutDownDone = 0;
    quietJobEnds = 0;
}

}  // namespace
