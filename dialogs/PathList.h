// The path lists of the General page and the filter options dialog: reading an entry, fitting
// the horizontal extent, and adding what the file chooser, the folder chooser or a drop gives.
// Each path goes through ExpandToLongPathName to the dialog as WM_ADDITEM (lParam = the path),
// which decides whether it joins the list.
#pragma once
#include <windows.h>
#include <shellapi.h>

// The longest path a list takes; a longer one is never added.
const int kMaxListPath = 1023;

// The entry's text into a 1024-character buffer; false when it does not fit.
bool ReadListEntry(HWND list, int index, char *text);
// The list's horizontal extent: its width, or the widest entry when that is wider.
void FitListHorizontalExtent(HWND list);

// Turns drag and drop on, unless the user-account control would hold the drop messages back from
// this (possibly elevated) window; then the tip `tipId` is hidden. True when drops are accepted.
bool AcceptDroppedFiles(HWND dialog, int tipId);

// With stopSizes the edited configuration's size thread is stopped while paths are added and
// started again afterwards (the General page, whose sources it measures).
void ChooseFilesToAdd(HWND dialog, const char *title, bool stopSizes);
void ChooseFolderToAdd(HWND dialog, const char *title, bool stopSizes);
// Adds every dropped path that exists (a folder with its trailing '\'), then finishes the drop.
void AddDroppedFiles(HWND dialog, HDROP drop, bool stopSizes);

// The chooser's buffer holds one full path (firstName within the first string), or the folder
// followed by the names; each path is sent as WM_ADDITEM.
void AddChosenFiles(HWND dialog, const char *files, int firstName);
