// The Test buttons of the e-mail and FTP settings. A test runs on the window thread with the
// values on screen, behind a wait cursor and the "Test In Progress..." label; its button stays
// disabled until it ends, since the test pumps messages (its message boxes too) and a second
// click would otherwise start a second test inside the first.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <functional>

// The calls behind the buttons; tests put doubles in their place.
struct SettingsTestApi {
    void (*sendMapiTestMail)(HWND window, const char *recipients, uint32_t emailFlags);
    void (*sendSmtpTestMail)(HWND window, const char *recipients, uint32_t emailFlags, const char *server, int port,
                             const char *user, const char *password, const char *from);
    int (*testFtpUpload)(HWND owner, const char *folder, const char *server, const char *user, const char *password,
                         uint32_t flags, int port);
};
extern const SettingsTestApi *settingsTests;
// NULL puts the real calls back.
void SetSettingsTestApiForTesting(const SettingsTestApi *api);

// Shows the label, disables the button, lets the window repaint, runs `test` and puts
// everything back. False, without running, while another test runs.
bool RunSettingsTest(HWND dialog, int buttonId, int labelId, const std::function<void()> &test);

