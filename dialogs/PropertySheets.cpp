#include "PropertySheets.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include <vector>

#include "DialogHelpers.h"
#include "SheetFont.h"

namespace {

const char kPageProcedure[] = "VelloranPageProcedure";

// Every page's messages go through here to the page's own procedure. A disabled or read-only
// edit field asks its page for its colours as a label does; a page on a tab draws labels on the
// tab's background, and Wine gave the fields inside a group box that white too, so they looked
// as if they could be typed in. They get the face colour of dialogs, as Windows draws them.
INT_PTR CALLBACK SheetPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const PROPSHEETPAGEA *sheetPage = reinterpret_cast<const PROPSHEETPAGEA *>(lParam);
        SetPropA(page, kPageProcedure, reinterpret_cast<HANDLE>(sheetPage->lParam));
    } else if (message == WM_CTLCOLORSTATIC) {
        char kind[16] = "";
        GetClassNameA(reinterpret_cast<HWND>(lParam), kind, sizeof kind);
        if (lstrcmpiA(kind, "Edit") == 0) {
            SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
        }
    }
    DLGPROC procedure = reinterpret_cast<DLGPROC>(GetPropA(page, kPageProcedure));
    INT_PTR result = procedure != nullptr ? procedure(page, message, wParam, lParam) : FALSE;
    if (message == WM_NCDESTROY)
        RemovePropA(page, kPageProcedure);
    return result;
}

}  // namespace

INT_PTR ShowPropertySheet(HWND owner, const char *caption, const SheetPage *pages, int pageCount)
{
    HINSTANCE instance = DialogInstance();
    std::vector<PROPSHEETPAGEA> sheetPages((size_t)pageCount);
    for (int i = 0; i < pageCount; ++i) {
        PROPSHEETPAGEA &page = sheetPages[(size_t)i];
        memset(&page, 0, sizeof page);
        page.dwSize = sizeof page;
        page.dwFlags = PSP_HASHELP;
        page.hInstance = instance;
        page.pszTemplate = MAKEINTRESOURCEA(GetDialogTemplateId(pages[i].templateId));
        page.pfnDlgProc = SheetPageProc;
        page.lParam = reinterpret_cast<LPARAM>(pages[i].procedure);
    }
    PROPSHEETHEADERA sheet;
    memset(&sheet, 0, sizeof sheet);
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_HASHELP;
    sheet.hwndParent = owner;
    sheet.hInstance = instance;
    sheet.pszCaption = caption;
    sheet.nPages = (UINT)pageCount;
    sheet.nStartPage = 0;
    sheet.ppsp = sheetPages.data();
    UsePageFontForSheet(&sheet, instance, GetDialogTemplateId(pages[0].templateId));
    return PropertySheetA(&sheet);
}
