// The compiled help "Korrin.chm" beside the program: a dialog's topic by keyword, a control's
// context popup, and the HTML Help control's HtmlHelpA, loaded on the first request.
#pragma once
#include <windows.h>

// Opens the help window and looks up the keyword (a string id); 0 when the program's folder
// cannot be found.
int ShowHelpTopic(HWND owner, int keywordId);
// Shows the popup of the control (its id is the popup's topic number) from the dialog's popup file.
void ShowControlHelpPopup(HWND dialog, int controlId, const char *popupFile);
// The HTML Help control's file from its class registration, into 260 characters; 1 when found.
int FindHtmlHelpControl(char *path);
// HtmlHelpA's result, or 0 when the control or its entry is not available.
INT_PTR CallHtmlHelp(HWND window, const char *file, UINT command, DWORD_PTR data);

// Tests: the loader used in place of LoadLibraryA (NULL restores it), and a fresh start as if
// nothing had been loaded yet.
typedef HMODULE (*HelpLibraryLoader)(const char *path);
void SetHelpLibraryLoaderForTesting(HelpLibraryLoader loader);
void ResetHtmlHelpForTesting();
