// Property sheets in their pages' font. A sheet measures its pages' templates in its own
// dialog font (8 points); the pages of the larger dialog sizes are laid out in 10 or 12
// points, so in an 8-point sheet they run past its edge. Building the sheet in the font of its
// pages gives it room for them at every size.
#pragma once
#include <windows.h>
#include <prsht.h>

// Makes the sheet take the font of the page template `pageTemplateId` (in `instance`): sets
// PSH_USECALLBACK and the callback. Returns false, leaving the header alone, when the template
// cannot be read.
bool UsePageFontForSheet(PROPSHEETHEADERA *sheet, HINSTANCE instance, int pageTemplateId);

// The font of a dialog template (DLGTEMPLATE or DLGTEMPLATEEX) in memory.
struct TemplateFont {
    WORD pointSize;
    WORD weight;      // DLGTEMPLATEEX only
    BYTE italic;      // DLGTEMPLATEEX only
    BYTE charset;     // DLGTEMPLATEEX only
    DWORD fontStyle;  // the template's DS_SETFONT and DS_FIXEDSYS bits
};

// Reads the font of a template of `size` bytes; false when it names none or is malformed.
bool ReadTemplateFont(const void *dialogTemplate, size_t size, TemplateFont *font);
// Gives a template that names a font the point size, weight, italic and charset of `font`
// and its DS_FIXEDSYS bit, in place: the face and the template's length stay. False when the
// template names no font (its font could not be changed without growing it).
bool WriteTemplateFont(void *dialogTemplate, const TemplateFont &font);
