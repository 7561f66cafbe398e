// The configuration editor: the property sheet "Backup Configuration Properties" on the working
// copy `editedConfig`, written back into the table and the store once a page has applied.
#pragma once
#include <windows.h>

// 1 after any page's successful apply, 0 again on a reset.
extern int configSaved;

// A page's apply passed, with an edit of its own or without. Once every open page of the
// sheet has passed in one round, the working copy as it stands is what Close saves, should the
// sheet be closed without OK after it.
void NoteEditorPagePassed(HWND page);
// A page refused its apply: the round under way applies nothing that Close would save.
void NoteEditorPageRefused();

// Sets the working copy's dateFilterCount to 0, so that the next compressed backup takes all
// files (new sources, filters or remote destinations). The reset wins over a count that a job
// writes into the table record while the sheet is open.
void ResetEditedDateFilterCount();

// index -1 creates a new configuration. Returns the final configSaved (also 1 when the user
// declined to stop the running job, and then nothing was written); 0 when the sheet did not
// open or the write-back failed.
int EditBackupConfig(HWND owner, int index);
