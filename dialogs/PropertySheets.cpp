#include "PropertySheets.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include <vector>

#include "DialogHelpers.h"
#include "SheetFont.h"

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
        page.pfnDlgProc = pages[i].procedure;
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
