// Which job list columns are shown and in which order: the chooser (dialog 422), the merge of
// a header drag into the stored order, and the header's subclass that remembers where its
// menu is to appear.
#pragma once
#include <windows.h>

void ShowColumnChooser(HWND owner);
// The dialog's result is 1 when the columns changed, else 0.
INT_PTR CALLBACK ColumnChooserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Brings the header's display order into the stored order (hidden columns keep their places
// next to their neighbours) and stores the current widths; a header that does not match the
// settings changes nothing.
void MergeColumnOrderAfterDrag();

LRESULT CALLBACK ListHeaderProc(HWND header, UINT message, WPARAM wParam, LPARAM lParam);
// Subclasses the header of `list` with ListHeaderProc, keeping its previous procedure.
void InstallListHeaderSubclass(HWND list);
// The last mouse position over the header, in screen coordinates: where its menu appears.
POINT GetHeaderMenuPoint(HWND header);
