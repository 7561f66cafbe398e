// The program's property sheets: the configuration editor and the remote backup options.
#pragma once
#include <windows.h>

struct SheetPage {
    int templateId;  // of the 8-point size; GetDialogTemplateId chooses the size
    DLGPROC procedure;
};

// Shows a modal sheet of `pages` in the chosen dialog size and in the pages' font, each page
// with a Help button (the sheet has Help and Apply), opening on the first page; disabled and
// read-only edit fields on every page are drawn grey. Returns PropertySheetA's result.
INT_PTR ShowPropertySheet(HWND owner, const char *caption, const SheetPage *pages, int pageCount);
