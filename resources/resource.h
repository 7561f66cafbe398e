// Every resource and control id of the main program, one block per dialog or resource kind.
// Dialog templates exist three times: id (8 pt), id + 500 (10 pt) and id + 1000 (12 pt).
#pragma once

// ---- Dialog size offsets (GetDialogTemplateId) ----
#define DLG_OFFSET_10PT 500
#define DLG_OFFSET_12PT 1000

// ---- Dialog 161: confirm exit ----
#define IDD_CONFIRM_EXIT 161
#define IDC_CONFIRM_EXIT_DONT_ASK 1056

// ---- Version information ----
#define VELLORAN_VERSION_MAJOR 1
#define VELLORAN_VERSION_MINOR 0
#define VELLORAN_VERSION_BUILD 0
#define VELLORAN_VERSION_STRING "1.0.0"
