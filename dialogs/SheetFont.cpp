#include "SheetFont.h"

#include <string.h>

namespace {

// Where the style and the font fields lie in one template.
struct FontPlace {
    BYTE *style;
    BYTE *font;
    bool extended;
};

// Skips a name-or-ordinal (or the title) field; false when it runs past the end.
bool SkipNameOrOrdinal(const BYTE *&p, const BYTE *end)
{
    if (end - p < 2)
        return false;
    WORD first;
    memcpy(&first, p, 2);
    if (first == 0x0000) {
        p += 2;
        return true;
    }
    if (first == 0xFFFF) {
        p += 4;
        return p <= end;
    }
    for (;;) {
        if (end - p < 2)
            return false;
        WORD c;
        memcpy(&c, p, 2);
        p += 2;
        if (c == 0)
            return true;
    }
}

bool FindFontPlace(BYTE *base, size_t size, FontPlace *place)
{
    const size_t kPlainHeader = 18, kExtendedHeader = 26;
    if (base == nullptr || size < kPlainHeader)
        return false;
    WORD version, signature;
    memcpy(&version, base, 2);
    memcpy(&signature, base + 2, 2);
    place->extended = version == 1 && signature == 0xFFFF;
    size_t header = place->extended ? kExtendedHeader : kPlainHeader;
    if (size < header)
        return false;
    place->style = base + (place->extended ? 12 : 0);
    DWORD style;
    memcpy(&style, place->style, 4);
    if ((style & DS_SETFONT) == 0)
        return false;
    const BYTE *p = base + header;
    const BYTE *end = base + size;
    for (int field = 0; field < 3; ++field) {  // menu, window class, title
        if (!SkipNameOrOrdinal(p, end))
            return false;
    }
    size_t fontFields = place->extended ? 6 : 2;
    if ((size_t)(end - p) < fontFields)
        return false;
    place->font = base + (p - base);
    return true;
}

// The font of the pages of the sheet about to be created.
TemplateFont sheetFont;

int CALLBACK SheetFontCallback(HWND, UINT message, LPARAM lParam)
{
    // The sheet hands over a copy of its own template, which may be changed in place.
    if (message == PSCB_PRECREATE)
        WriteTemplateFont(reinterpret_cast<void *>(lParam), sheetFont);
    return 0;
}

}  // namespace

bool ReadTemplateFont(const void *dialogTemplate, size_t size, TemplateFont *font)
{
    FontPlace place;
    if (!FindFontPlace(const_cast<BYTE *>(static_cast<const BYTE *>(dialogTemplate)), size, &place))
        return false;
    DWORD style;
    memcpy(&style, place.style, 4);
    font->fontStyle = style & (DS_SETFONT | DS_FIXEDSYS);
    memcpy(&font->pointSize, place.font, 2);
    font->weight = FW_NORMAL;
    font->italic = 0;
    font->charset = DEFAULT_CHARSET;
    if (place.extended) {
        memcpy(&font->weight, place.font + 2, 2);
        font->italic = place.font[4];
        font->charset = place.font[5];
    }
    return true;
}

bool WriteTemplateFont(void *dialogTemplate, const TemplateFont &font)
{
    // The sheet's own template is well formed but its length is not known here; its header
    // and strings lie well inside the first 64 KB.
    FontPlace place;
    if (!FindFontPlace(static_cast<BYTE *>(dialogTemplate), 0x10000, &place))
        return false;
    DWORD style;
    memcpy(&style, place.style, 4);
    style = (style & ~(DWORD)DS_FIXEDSYS) | (font.fontStyle & DS_FIXEDSYS);
    memcpy(place.style, &style, 4);
    memcpy(place.font, &font.pointSize, 2);
    if (place.extended) {
        memcpy(place.font + 2, &font.weight, 2);
        place.font[4] = font.italic;
        place.font[5] = font.charset;
    }
    return true;
}

bool UsePageFontForSheet(PROPSHEETHEADERA *sheet, HINSTANCE instance, int pageTemplateId)
{
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(pageTemplateId), (LPCSTR)RT_DIALOG);
    HGLOBAL loaded = found != nullptr ? LoadResource(instance, found) : nullptr;
    const void *page = loaded != nullptr ? LockResource(loaded) : nullptr;
    TemplateFont font;
    if (page == nullptr || !ReadTemplateFont(page, SizeofResource(instance, found), &font))
        return false;
    sheetFont = font;
    sheet->dwFlags |= PSH_USECALLBACK;
    sheet->pfnCallback = SheetFontCallback;
    return true;
}
