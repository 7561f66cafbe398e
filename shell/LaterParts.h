// Entry points of work that lives elsewhere (configuration dialogs, help). They do nothing
// visible yet.
#pragma once
#include <windows.h>
#include "Toolbar.h"

void EditBackupConfig(HWND window, int index);
void DeleteBackupConfig(HWND window);
void CopyBackupConfig(HWND window);
void ShowOptionsDialog(HWND window);
void CallHtmlHelp(HWND window, const char *topic, UINT command);
// A dialog's help topic by its keyword string id, and a control's context popup.
int ShowHelpTopic(HWND owner, int keywordId);
void ShowControlHelpPopup(HWND dialog, int controlId, const char *popupFile);
