// Shared helpers of the dialog tests: a double behind the Test buttons that records what each
// test was asked with, a dialog or sheet run modally on the test's thread while another thread
// works it, and clicks that go through the controls themselves.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "EditorTestSupport.h"

struct SettingsTestCall {
    std::string kind;  // "mapi", "smtp" or "ftp"
    std::string recipients, server, user, password, from, folder;
    uint32_t flags = 0;
    int port = 0;
    bool buttonEnabled = true;  // the Test button during the call
    bool labelShown = false;    // "Test In Progress..." during the call
};

// Stands in for the test e-mails and the test upload while it lives.
class FakeSettingsTests {
public:
    FakeSettingsTests();
    ~FakeSettingsTests();
    std::vector<SettingsTestCall> Calls();
    // Runs inside every call on the window thread, with the dialog of the button.
    std::function<void(HWND dialog)> during;

    static void Record(HWND dialog, SettingsTestCall call);
    std::mutex lock;
    std::vector<SettingsTestCall> calls;
};

// A click through the button itself (BM_CLICK) that returns at once, for a button that opens
// a modal dialog.
void PostClick(HWND dialog, int id);
// Selects an entry of a drop-down list and tells the dialog, as a user's choice does.
void Choose(HWND dialog, int id, int index);
// The window with the keyboard focus in the thread of `window`.
HWND FocusOf(HWND window);
bool IsShown(HWND dialog, int id);

// Gives the window time to handle what it posted to itself.
void Settle(HWND window);
// A stored password: `plain` scrambled into the field.
void SetScrambled(char *field, size_t size, const char *plain);

// The shown dialog or sheet with this caption, waited for up to five seconds.
HWND WaitForWindow(const char *title);
// Runs `open` on this thread while `drive` works the window with this caption from another;
// should `drive` leave it open, `closeId` is posted until it is gone (a sheet gets Cancel).
INT_PTR RunModal(const char *title, const std::function<INT_PTR()> &open, const std::function<void(HWND)> &drive,
                 int closeId = IDCANCEL);
