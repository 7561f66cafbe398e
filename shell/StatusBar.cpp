// The status line and the main window's four-part status bar: status line, number of
// configurations, time and date. A leading tab centres a part's text.
#include "TrayAndStatus.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "AllocationSeam.h"
#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "ErrorReport.h"
#include "InternalScheduler.h"
#include "JobControl.h"
#include "MsvcrtFormat.h"
#include "ShellState.h"
#include "resource.h"

namespace {

const int kStatusPartCount = 4;
const size_t kPartTextSize = 257;
const int kPartGap = 8;

struct RunningJob {
    int percent;
    int cancelling;
    char status[sizeof(BackupConfig::statusText)];
};

// The running count, and the state of the last running configuration in table order.
int CountRunningJobs(RunningJob *last)
{
    if (jobActive != 1)
        return 0;
    int count = 0;
    for (int i = 0; i < configTable.configCount; ++i) {
        const BackupConfig *config = ConfigAt(i);
        if (IsConfigRunning(config) == 0)
            continue;
        ++count;
        last->percent = GetProgressPercent(config);
        last->cancelling = IsCancelRequested(config);
        GetStatusText(config, last->status, sizeof(last->status));
    }
    return count;
}

void FormatNextRun(char *buffer, size_t size, const SYSTEMTIME *now)
{
    char dateText[80] = "Today";
    char timeText[80] = "";
    const SYSTEMTIME &run = earliestNextRun;
    if (run.wYear != now->wYear || run.wMonth != now->wMonth || run.wDay != now->wDay)
        if (GetDateFormatA(LOCALE_USER_DEFAULT, 0, &run, "dddd (MMM d)", dateText, sizeof(dateText)) == 0)
            dateText[0] = '\0';
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &run, nullptr, timeText, sizeof(timeText)) == 0)
        timeText[0] = '\0';
    FormatText(buffer, size, "Next Job: %s at %s", dateText, timeText);
}

void FormatTime(const SYSTEMTIME *time, char *out, int outSize)
{
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, TIME_NOSECONDS, time, nullptr, out, outSize) == 0)
        out[0] = '\0';
}

void FormatShortDate(const SYSTEMTIME *date, char *out, int outSize)
{
    if (GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, date, nullptr, out, outSize) == 0)
        out[0] = '\0';
}

// Sets a part only when its text changed, so the tick does not make the bar flicker. Returns 0
// when the read-back buffer cannot be had.
int SetPartText(int part, const char *text)
{
    LRESULT length = LOWORD(SendMessageA(statusBarWindow, SB_GETTEXTLENGTHA, part, 0));
    size_t size = (size_t)length + 1 > kPartTextSize ? (size_t)length + 1 : kPartTextSize;
    char *current = (char *)AllocateBlock(size);
    if (current == nullptr) {
        MessageBoxFromResource(mainWindow, IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return 0;
    }
    current[0] = '\0';
    SendMessageA(statusBarWindow, SB_GETTEXTA, part, (LPARAM)current);
    current[size - 1] = '\0';
    if (strcmp(current, text) != 0)
        SendMessageA(statusBarWindow, SB_SETTEXTA, part, (LPARAM)text);
    free(current);
    return 1;
}

int TextWidth(HDC dc, const char *text)
{
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, text, (int)strlen(text), &extent);
    return extent.cx;
}

}  // namespace

int FormatStatusLineAt(char *buffer, size_t size, const SYSTEMTIME *now)
{
    RunningJob last;
    ZeroMemory(&last, sizeof(last));
    int running = CountRunningJobs(&last);
    if (running > 1) {
        FormatText(buffer, size, "%d Backups Running", running);
    } else if (running == 1) {
        if (last.cancelling)
            FormatText(buffer, size, "Aborting Backup Job...");
        else if (last.status[0] == '\0')
            FormatText(buffer, size, "Backup Running: %d%% Complete", last.percent);
        else
            FormatText(buffer, size, "Backup Running: %d%% Complete - %s", last.percent, last.status);
    } else if (hasNextRun == 1) {
        FormatNextRun(buffer, size, now);
    } else {
        FormatText(buffer, size, "No Jobs Scheduled");
    }
    return running;
}

int FormatStatusLine(char *buffer, size_t size)
{
    SYSTEMTIME now;
    GetLocalNow(&now);
    return FormatStatusLineAt(buffer, size, &now);
}

HWND CreateStatusBar(HWND parent)
{
    return CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                           (HMENU)(INT_PTR)IDC_MAIN_STATUSBAR, programInstance, nullptr);
}

void UpdateStatusBarAt(const SYSTEMTIME *now)
{
    // While a menu is open the bar shows its help text; the parts follow when it closes.
    if (statusBarWindow == nullptr || SendMessageA(statusBarWindow, SB_ISSIMPLE, 0, 0))
        return;
    char text[kPartTextSize];
    char value[80];
    if (jobListWindow != nullptr) {
        FormatText(text, sizeof(text), "\tC %d", (int)SendMessageA(jobListWindow, LVM_GETITEMCOUNT, 0, 0));
        if (!SetPartText(1, text))
            return;
    }
    FormatTime(now, value, sizeof(value));
    FormatText(text, sizeof(text), "\t%s", value);
    if (!SetPartText(2, text))
        return;
    FormatShortDate(now, value, sizeof(value));
    FormatText(text, sizeof(text), "\t%s", value);
    if (!SetPartText(3, text))
        return;
    FormatStatusLineAt(text, sizeof(text), now);
    SetPartText(0, text);
}

void UpdateStatusBar()
{
    SYSTEMTIME now;
    GetLocalNow(&now);
    UpdateStatusBarAt(&now);
}

// The parts are as wide as sample texts in the bar's font: a count of 900, 12:55 and
// 20 December 2002, each in the user's format and followed by a space.
void LayOutStatusBarParts(int clientWidth)
{
    if (statusBarWindow == nullptr)
        return;
    SYSTEMTIME sample;
    ZeroMemory(&sample, sizeof(sample));
    sample.wYear = 2002;
    sample.wMonth = 12;
    sample.wDay = 20;
    sample.wDayOfWeek = 5;
    sample.wHour = 12;
    sample.wMinute = 55;
    char timeText[80];
    char dateText[80];
    FormatTime(&sample, timeText, sizeof(timeText) - 1);
    FormatShortDate(&sample, dateText, sizeof(dateText) - 1);
    strcat(timeText, " ");
    strcat(dateText, " ");
    int dateWidth = 0, timeWidth = 0, countWidth = 0;
    HDC dc = GetDC(statusBarWindow);
    if (dc != nullptr) {
        HFONT font = (HFONT)SendMessageA(statusBarWindow, WM_GETFONT, 0, 0);
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        dateWidth = TextWidth(dc, dateText);
        timeWidth = TextWidth(dc, timeText);
        countWidth = TextWidth(dc, "C 900");
        if (previous != nullptr)
            SelectObject(dc, previous);
        ReleaseDC(statusBarWindow, dc);
    }
    RECT bar;
    int barHeight = GetWindowRect(statusBarWindow, &bar) ? bar.bottom - bar.top : 0;
    int rights[kStatusPartCount];
    rights[3] = clientWidth - barHeight;
    rights[2] = rights[3] - dateWidth - kPartGap;
    rights[1] = rights[2] - timeWidth - kPartGap;
    rights[0] = rights[1] - countWidth - kPartGap;
    SendMessageA(statusBarWindow, SB_SETPARTS, kStatusPartCount, (LPARAM)rights);
    UpdateStatusBar();
}
