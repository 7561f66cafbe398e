// What every page of the configuration editor does the same way: marking the sheet changed,
// refusing or accepting an apply, the reset and Help notifications, and WM_HELP.
#pragma once
#include <windows.h>
#include <commctrl.h>

struct EditorPageHelp {
    int topicId;            // keyword string of the page's topic
    const char *popupFile;  // popup file inside the compiled help
    const int *popupIds;    // controls that have a popup, ending in 0
};

// Enables Apply for the page.
void MarkPageChanged(HWND page);
// Shows the failed check's text, moves the focus (focusId 0: stays) and keeps the sheet open.
INT_PTR RefusePageApply(HWND page, const char *text, int focusId);
// Counts the apply as a saved edit: Cancel becomes Close.
INT_PTR AcceptPageApply(HWND page);
// Lets the apply pass without an edit of the page's own.
INT_PTR PassPageApply(HWND page);
// PSN_RESET and PSN_HELP; returns FALSE for any other notification.
INT_PTR HandleCommonPageNotify(HWND page, const NMHDR *header, const EditorPageHelp &help);
// WM_HELP of a page or of a dialog opened from one: the control's popup when it has one, else
// the topic, owned by the window's parent.
void ShowPageHelp(HWND page, const HELPINFO *info, const EditorPageHelp &help);
// What a page's procedure leaves over after its own messages: the notifications of
// HandleCommonPageNotify, WM_HELP, and WM_DESTROY, which clears the page's GWLP_USERDATA.
INT_PTR AnswerCommonPageMessage(HWND page, UINT message, LPARAM lParam, const EditorPageHelp &help);
// Whether a WM_NOTIFY is the sheet's PSN_APPLY.
bool IsApplyNotification(LPARAM lParam);

// The number a box's text gives: its leading decimal digits (after blanks and an optional
// sign), 0 when there are none, clamped to the range of int.
int ParseBoxNumber(const char *text);
// ParseBoxNumber of a box's text, read up to `maxChars` characters.
int ReadBoxNumber(HWND dialog, int id, int maxChars);

bool IsBoxChecked(HWND dialog, int id);
// Checks one radio button of a pair whose ids need not be neighbours: CheckRadioButton would
// clear every button whose id lies between the two.
void CheckRadioPair(HWND dialog, int first, int second, bool firstChosen);

// Opens one of the small dialogs of the editor's pages (template `templateId` in the chosen
// size) on `record`; 1 when it ended reporting a change.
int OpenRecordDialog(HWND owner, int templateId, DLGPROC procedure, void *record);

// Refusal of a password that holds the scrambling key's byte (see CanScramblePassword).
extern const char kPasswordKeyByteMessage[];
