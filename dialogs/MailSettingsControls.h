// The e-mail settings that the E-Mail page (dialog 426) and the job-result e-mail dialog (428)
// share under the same control ids: filling and reading them, which of them are enabled, their
// commands, and the test e-mail sent with the values on screen.
#pragma once
#include <windows.h>
#include <stdint.h>

// Where a set of e-mail settings is kept (a configuration's, or the job-result e-mail's): the
// texts, and the password held scrambled.
struct StoredMailTexts {
    char (*to)[256];
    char (*server)[128];
    char (*from)[256];
    char (*user)[64];
    char (*password)[64];
};
// Fills the controls from the stored settings (the password unscrambled for the box).
void ShowStoredMailSettings(HWND dialog, const StoredMailTexts &texts, uint32_t flags, int port, int lowestPort);
// Stores what the controls hold; false, storing nothing, when the typed password could not be
// kept scrambled (PasswordRule.h).
bool StoreMailSettings(HWND dialog, const StoredMailTexts &texts, uint32_t *flags, int *port);

// Enables the controls by the road chosen; `enabled` false disables all of them.
void RefreshMailStates(HWND dialog, bool enabled);
// A command of one of the shared controls (the Test button runs the test). 1 when it edited a
// setting, which marks a page changed.
int OnMailSettingsCommand(HWND dialog, int id, int code);
