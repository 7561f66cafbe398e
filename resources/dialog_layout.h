// Layout macros shared by every dialog template. A template file is included three times by
// dialogs.rc, once per font size; DLG_OFFSET and DLG_FONT_SIZE are set before each inclusion.
#pragma once

#define DLG_ID(id) ((id) + DLG_OFFSET)
#define DLG_FONT FONT DLG_FONT_SIZE, "MS Shell Dlg", 400, 0, 1
#define DLG_STYLE_MODAL (DS_SETFONT | DS_MODALFRAME | DS_FIXEDSYS | WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define DLG_STYLE_PAGE (DS_SETFONT | DS_FIXEDSYS | WS_CHILD | WS_CAPTION)
