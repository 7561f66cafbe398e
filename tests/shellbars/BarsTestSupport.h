// A real top-level window (under the null graphics driver) that runs the main window's
// procedure, with the shell state the bars read, and helpers to add configurations.
#pragma once
#include <windows.h>
#include <gtest/gtest.h>
#include <string>

class BarsTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Appends a configuration and returns its index.
    int AddConfig(const char *description);
    // A plain list view as the job list, one row per configuration, the row at index selected.
    void MakeJobList(int selectedIndex);
    // Dispatches this thread's messages for the given time.
    static void PumpMessages(DWORD milliseconds);
    static std::string StatusPartText(int part);

    HWND window = nullptr;
};
