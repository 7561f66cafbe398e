// Page "Advanced" of the configuration editor (dialog 424): what a backup makes (a mirror with
// revisions and deleted files, a ZIP file with its name and password), the job's priority and
// the programs run around it; it opens the remote-backup sheet and the split-ZIP and
// date-filter dialogs.
#pragma once
#include <windows.h>
#include <stddef.h>

INT_PTR CALLBACK AdvancedPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// What the page's controls hold when it applies.
struct AdvancedFields {
    bool saveRevisions, saveDeleted, uncompressed, compressed, encrypted, runBefore, runAfter;
    const char *revisions;      // the revisions box
    const char *zipName;        // up to 259 characters
    const char *password;       // up to 255 characters
    const char *passwordAgain;  // up to 255 characters
    int priority;               // the list's selection, -1 when none
    const char *programBefore;  // up to 259 characters
    const char *programAfter;   // up to 259 characters
};

// The page's apply on the working copy: the checks in their order, each field written as it is
// read, so a refusal leaves the fields before it written. 0 when all pass, else the id of the
// control to focus with the message in `text`.
int CheckAdvancedPage(const AdvancedFields &fields, char *text, size_t textSize);

// Tests: the remote-backup sheet opened by the page's button (NULL: the real one).
typedef int (*RemoteBackupEditor)(HWND owner);
void SetRemoteBackupEditorForTesting(RemoteBackupEditor editor);
