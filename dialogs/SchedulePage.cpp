#include "SchedulePage.h"

#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include "Calendar.h"
#include "Clock.h"
#include "ConfigEditor.h"
#include "ConfigTable.h"
#include "EditorPage.h"
#include "ErrorReport.h"
#include "MsvcrtFormat.h"
#include "ScheduledTask.h"
#include "resource.h"

namespace {

const int kPopupControls[] = {
    IDC_SCHEDULE_EVERY_DAYS, IDC_SCHEDULE_EVERY, IDC_SCHEDULE_DAILY, IDC_SCHEDULE_MANUAL, IDC_SCHEDULE_SUNDAY,
    IDC_SCHEDULE_DAILY_TIME, IDC_SCHEDULE_EVERY_TIME, IDC_SCHEDULE_MONDAY, IDC_SCHEDULE_TUESDAY,
    IDC_SCHEDULE_WEDNESDAY, IDC_SCHEDULE_THURSDAY, IDC_SCHEDULE_FRIDAY, IDC_SCHEDULE_SATURDAY,
    IDC_SCHEDULE_PASSWORD, IDC_SCHEDULE_CONFIRM_PASSWORD, IDC_SCHEDULE_ACCOUNT, IDC_SCHEDULE_INTERNAL,
    IDC_SCHEDULE_WINDOWS_TASK, 0,
};
const EditorPageHelp kHelp = {IDS_HELPKEY_CFG_SCHEDULE, "CfgSchedule.txt", kPopupControls};

// The weekday boxes, bit 0 (Sunday) first.
const int kWeekdayBoxes[7] = {IDC_SCHEDULE_SUNDAY,   IDC_SCHEDULE_MONDAY, IDC_SCHEDULE_TUESDAY,
                              IDC_SCHEDULE_WEDNESDAY, IDC_SCHEDULE_THURSDAY, IDC_SCHEDULE_FRIDAY,
                              IDC_SCHEDULE_SATURDAY};
const int kWeekdayLabels[7] = {IDC_SCHEDULE_SU_LABEL, IDC_SCHEDULE_MO_LABEL, IDC_SCHEDULE_TU_LABEL,
                               IDC_SCHEDULE_WE_LABEL, IDC_SCHEDULE_TH_LABEL, IDC_SCHEDULE_FR_LABEL,
                               IDC_SCHEDULE_SA_LABEL};

const HRESULT kAccountRestriction = (HRESULT)0x8007052F;
const HRESULT kAccessDenied = (HRESULT)0x80070005;

// Page state in GWLP_USERDATA.
const LONG_PTR kPageReady = 0x1;       // edits from here on are the user's
const LONG_PTR kScheduleChanged = 0x2; // something on the page changed since start or apply

bool HasState(HWND page, LONG_PTR bit)
{
    return (GetWindowLongPtrA(page, GWLP_USERDATA) & bit) != 0;
}

void SetState(HWND page, LONG_PTR bit, bool on)
{
    LONG_PTR state = GetWindowLongPtrA(page, GWLP_USERDATA);
    SetWindowLongPtrA(page, GWLP_USERDATA, on ? (state | bit) : (state & ~bit));
}

int CheckedMode(HWND page)
{
    if (IsBoxChecked(page, IDC_SCHEDULE_EVERY))
        return (int)ScheduleKind::EveryNDays;
    if (IsBoxChecked(page, IDC_SCHEDULE_DAILY))
        return (int)ScheduleKind::Weekly;
    return (int)ScheduleKind::None;
}

int ModeButton(int mode)
{
    if (mode == (int)ScheduleKind::EveryNDays)
        return IDC_SCHEDULE_EVERY;
    if (mode == (int)ScheduleKind::Weekly)
        return IDC_SCHEDULE_DAILY;
    return IDC_SCHEDULE_MANUAL;
}

void SetPickerTime(HWND page, int id, const char *format, const SYSTEMTIME &time)
{
    HWND picker = GetDlgItem(page, id);
    SendMessageA(picker, DTM_SETFORMATA, 0, (LPARAM)format);
    SYSTEMTIME shown = time;
    SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, (LPARAM)&shown);
}

void OnScheduleInit(HWND page)
{
    SetWindowLongPtrA(page, GWLP_USERDATA, 0);
    const BackupConfig &c = editedConfig;
    CTask task;
    char name[kTaskNameSize];
    FormatTaskName(c.uniqueId, name);
    int found = 0;
    HRESULT loaded = task.Load(name, &found);
    if (FAILED(loaded)) {
        ShowSystemErrorMessage(page, (DWORD)loaded);
        found = 0;
        // The page goes on as if there were no task: the task record holds its defaults.
        task.Reset();
    }
    int mode;
    bool windowsScheduler;
    int days = task.daysInterval;
    int dayMask = task.daysOfWeek;
    SYSTEMTIME time = task.startTime;
    if (found) {
        mode = task.triggerKind == 1 ? (int)ScheduleKind::EveryNDays : (int)ScheduleKind::Weekly;
        windowsScheduler = true;
    } else if (c.scheduleKind == (int)ScheduleKind::EveryNDays || c.scheduleKind == (int)ScheduleKind::Weekly) {
        mode = c.scheduleKind;
        windowsScheduler = false;
        if (c.scheduleEveryDays >= 1 && c.scheduleEveryDays <= 999)
            days = c.scheduleEveryDays;
        dayMask = c.scheduleDayMask & 0x7F;
        GetLocalNow(&time);
        time.wHour = (WORD)c.scheduleHour;
        time.wMinute = (WORD)c.scheduleMinute;
        time.wSecond = 0;
        time.wMilliseconds = 0;
    } else {
        mode = (int)ScheduleKind::None;
        windowsScheduler = true;
    }
    CheckRadioButton(page, IDC_SCHEDULE_EVERY, IDC_SCHEDULE_MANUAL, ModeButton(mode));
    CheckRadioButton(page, IDC_SCHEDULE_INTERNAL, IDC_SCHEDULE_WINDOWS_TASK,
                     windowsScheduler ? IDC_SCHEDULE_WINDOWS_TASK : IDC_SCHEDULE_INTERNAL);
    SendDlgItemMessageA(page, IDC_SCHEDULE_EVERY_DAYS_SPIN, UDM_SETRANGE32, 0, 999);
    char text[32];
    FormatText(text, sizeof text, "%d", days);
    SetDlgItemTextA(page, IDC_SCHEDULE_EVERY_DAYS, text);
    char format[99];
    GetTimeFormatWithoutSeconds(format);
    if (time.wYear == 0)
        time = CTask().startTime;
    SetPickerTime(page, IDC_SCHEDULE_EVERY_TIME, format, time);
    SetPickerTime(page, IDC_SCHEDULE_DAILY_TIME, format, time);
    for (int day = 0; day < 7; ++day)
        CheckDlgButton(page, kWeekdayBoxes[day], (dayMask & (1 << day)) ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(page, IDC_SCHEDULE_ACCOUNT, task.account);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    SetState(page, kPageReady, true);
}

void EnableControl(HWND page, int id, bool on)
{
    EnableWindow(GetDlgItem(page, id), on);
}

void OnScheduleRefresh(HWND page)
{
    int mode = CheckedMode(page);
    bool every = mode == (int)ScheduleKind::EveryNDays;
    bool daily = mode == (int)ScheduleKind::Weekly;
    EnableControl(page, IDC_SCHEDULE_EVERY_DAYS, every);
    EnableControl(page, IDC_SCHEDULE_EVERY_DAYS_SPIN, every);
    EnableControl(page, IDC_SCHEDULE_EVERY_TIME, every);
    for (int day = 0; day < 7; ++day) {
        EnableControl(page, kWeekdayBoxes[day], daily);
        EnableControl(page, kWeekdayLabels[day], daily);
    }
    EnableControl(page, IDC_SCHEDULE_DAILY_TIME, daily);
    bool scheduled = every || daily;
    EnableControl(page, IDC_SCHEDULE_SCHEDULER_GROUP, scheduled);
    EnableControl(page, IDC_SCHEDULE_INTERNAL, scheduled);
    EnableControl(page, IDC_SCHEDULE_WINDOWS_TASK, scheduled);
    bool account = scheduled && IsBoxChecked(page, IDC_SCHEDULE_WINDOWS_TASK);
    const int accountControls[] = {IDC_SCHEDULE_ACCOUNT, IDC_SCHEDULE_ACCOUNT_LABEL, IDC_SCHEDULE_PASSWORD,
                                   IDC_SCHEDULE_PASSWORD_LABEL, IDC_SCHEDULE_CONFIRM_PASSWORD,
                                   IDC_SCHEDULE_CONFIRM_LABEL};
    for (int id : accountControls)
        EnableControl(page, id, account);
}

void NoteChange(HWND page)
{
    if (!HasState(page, kPageReady))
        return;
    SetState(page, kScheduleChanged, true);
    MarkPageChanged(page);
}

void ReadPickerTime(HWND page, int id, WORD *hour, WORD *minute)
{
    SYSTEMTIME time;
    memset(&time, 0, sizeof time);
    if (SendDlgItemMessageA(page, id, DTM_GETSYSTEMTIME, 0, (LPARAM)&time) != GDT_VALID)
        memset(&time, 0, sizeof time);
    *hour = time.wHour;
    *minute = time.wMinute;
}

INT_PTR OnScheduleApply(HWND page)
{
    if (!HasState(page, kScheduleChanged))
        return PassPageApply(page);
    char everyDays[127] = "", account[127] = "", password[127] = "", confirm[127] = "";
    GetDlgItemTextA(page, IDC_SCHEDULE_EVERY_DAYS, everyDays, sizeof everyDays);
    GetDlgItemTextA(page, IDC_SCHEDULE_ACCOUNT, account, sizeof account);
    GetDlgItemTextA(page, IDC_SCHEDULE_PASSWORD, password, sizeof password);
    GetDlgItemTextA(page, IDC_SCHEDULE_CONFIRM_PASSWORD, confirm, sizeof confirm);
    ScheduleFields fields;
    fields.mode = CheckedMode(page);
    fields.windowsScheduler = IsBoxChecked(page, IDC_SCHEDULE_WINDOWS_TASK);
    fields.everyDays = everyDays;
    fields.dayMask = 0;
    for (int day = 0; day < 7; ++day) {
        if (IsBoxChecked(page, kWeekdayBoxes[day]))
            fields.dayMask |= 1 << day;
    }
    ReadPickerTime(page, fields.mode == (int)ScheduleKind::EveryNDays ? IDC_SCHEDULE_EVERY_TIME : IDC_SCHEDULE_DAILY_TIME,
                   &fields.hour, &fields.minute);
    fields.account = account;
    fields.password = password;
    fields.confirm = confirm;
    char text[512];
    int focus = ApplySchedule(page, fields, text, sizeof text);
    SecureZeroMemory(password, sizeof password);
    SecureZeroMemory(confirm, sizeof confirm);
    if (focus != 0)
        return RefusePageApply(page, text, focus > 0 ? focus : 0);
    SetState(page, kScheduleChanged, false);
    return AcceptPageApply(page);
}

// A click on one of the radio buttons first..last: that one is chosen, which changes the page
// and which of its controls are enabled.
void ChooseRadio(HWND page, int first, int last, int id)
{
    CheckRadioButton(page, first, last, id);
    PostMessageA(page, WM_REFRESHSTATES, 0, 0);
    NoteChange(page);
}

INT_PTR OnScheduleCommand(HWND page, int id, int code)
{
    switch (id) {
    case IDC_SCHEDULE_EVERY:
    case IDC_SCHEDULE_DAILY:
    case IDC_SCHEDULE_MANUAL:
        if (code == BN_CLICKED)
            ChooseRadio(page, IDC_SCHEDULE_EVERY, IDC_SCHEDULE_MANUAL, id);
        return TRUE;
    case IDC_SCHEDULE_INTERNAL:
    case IDC_SCHEDULE_WINDOWS_TASK:
        if (code == BN_CLICKED)
            ChooseRadio(page, IDC_SCHEDULE_INTERNAL, IDC_SCHEDULE_WINDOWS_TASK, id);
        return TRUE;
    case IDC_SCHEDULE_SUNDAY:
    case IDC_SCHEDULE_MONDAY:
    case IDC_SCHEDULE_TUESDAY:
    case IDC_SCHEDULE_WEDNESDAY:
    case IDC_SCHEDULE_THURSDAY:
    case IDC_SCHEDULE_FRIDAY:
    case IDC_SCHEDULE_SATURDAY:
        if (code == BN_CLICKED)
            NoteChange(page);
        return TRUE;
    case IDC_SCHEDULE_EVERY_DAYS:
    case IDC_SCHEDULE_ACCOUNT:
    case IDC_SCHEDULE_PASSWORD:
    case IDC_SCHEDULE_CONFIRM_PASSWORD:
        if (code == EN_CHANGE)
            NoteChange(page);
        return TRUE;
    }
    return FALSE;
}

bool IsPickerChange(const NMHDR *header)
{
    return header->code == DTN_DATETIMECHANGE &&
           (header->idFrom == IDC_SCHEDULE_EVERY_TIME || header->idFrom == IDC_SCHEDULE_DAILY_TIME);
}

// Saves the task; with an empty password that the account's policy refuses, once more after
// the user allowed such tasks.
HRESULT SaveTask(HWND owner, const CTask &task, const char *name, bool emptyPassword)
{
    HRESULT hr = task.Save(name);
    if ((hr == kAccountRestriction || hr == kAccessDenied) && emptyPassword && AllowBlankPasswordTasks(owner))
        hr = task.Save(name);
    return hr;
}

void DeleteTaskNamed(const char *name)
{
    wchar_t wide[kTaskNameSize];
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kTaskNameSize) > 0)
        DeleteTask(wide);
}

}  // namespace

int ApplySchedule(HWND owner, const ScheduleFields &f, char *text, size_t textSize)
{
    BackupConfig &c = editedConfig;
    CTask task;
    int days = ParseBoxNumber(f.everyDays);
    bool daysValid = days >= 1 && days <= 999;
    if (f.mode == (int)ScheduleKind::EveryNDays && !daysValid) {
        lstrcpynA(text, "Please enter an interval between 1 and 999", (int)textSize);
        return IDC_SCHEDULE_EVERY_DAYS;
    }
    // Without a weekday the schedule would never run while the list shows it as scheduled.
    if (f.mode == (int)ScheduleKind::Weekly && (f.dayMask & 0x7F) == 0) {
        lstrcpynA(text, "Please choose at least one day of the week for the backup to run on", (int)textSize);
        return IDC_SCHEDULE_SUNDAY;
    }
    if (daysValid) {
        c.scheduleEveryDays = days;
        task.daysInterval = (WORD)days;
    }
    c.scheduleKind = f.mode;
    task.triggerKind = f.mode;
    c.scheduleDayMask = f.dayMask;
    task.daysOfWeek = (WORD)f.dayMask;
    GetLocalNow(&task.startTime);
    task.startTime.wHour = f.hour;
    task.startTime.wMinute = f.minute;
    task.startTime.wSecond = 0;
    task.startTime.wMilliseconds = 0;
    c.scheduleHour = f.hour;
    c.scheduleMinute = f.minute;
    bool scheduled = f.mode != (int)ScheduleKind::None;
    bool emptyPassword = false;
    if (f.windowsScheduler && scheduled) {
        if (strcmp(f.password, f.confirm) != 0) {
            lstrcpynA(text, "Passwords do not match", (int)textSize);
            return IDC_SCHEDULE_PASSWORD;
        }
        lstrcpynA(task.account, f.account, sizeof task.account);
        lstrcpynA(task.password, f.password, sizeof task.password);
        emptyPassword = f.password[0] == '\0';
    }
    FormatText(task.parameters, sizeof task.parameters, "/hidden /exitwhendone /run=%d", (int)c.uniqueId);
    char name[kTaskNameSize];
    FormatTaskName(c.uniqueId, name);
    if (!scheduled) {
        DeleteTaskNamed(name);
        c.scheduleKind = (int)ScheduleKind::None;
    } else if (!f.windowsScheduler) {
        DeleteTaskNamed(name);
    } else {
        HRESULT hr = SaveTask(owner, task, name, emptyPassword);
        SecureZeroMemory(task.password, sizeof task.password);
        if (FAILED(hr)) {
            ShowSystemErrorMessage(owner, (DWORD)hr);
            lstrcpynA(text,
                      "Failed to save scheduled task.\n\nPlease either correct the problem, or choose the 'Manually "
                      "Start Backup' option.",
                      (int)textSize);
            return -1;
        }
        if (emptyPassword && !AllowBlankPasswordTasks(owner)) {
            lstrcpynA(text,
                      "The Windows Task Scheduler job will not run with an empty password.\n\nEither use the "
                      "'Internal Scheduler', assign a password to your account, or allow Velloran to override this "
                      "security precaution.",
                      (int)textSize);
            return IDC_SCHEDULE_PASSWORD;
        }
        // The task replaces the internal schedule; the schedule fields keep what was chosen.
        c.scheduleKind = (int)ScheduleKind::None;
    }
    return 0;
}

INT_PTR CALLBACK SchedulePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnScheduleInit(page);
        return TRUE;
    case WM_COMMAND:
        return OnScheduleCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY:
        if (IsApplyNotification(lParam))
            return OnScheduleApply(page);
        if (IsPickerChange(reinterpret_cast<const NMHDR *>(lParam))) {
            NoteChange(page);
            return TRUE;
        }
        break;
    case WM_REFRESHSTATES:
        OnScheduleRefresh(page);
        return TRUE;
    }
    return AnswerCommonPageMessage(page, message, lParam, kHelp);
}
