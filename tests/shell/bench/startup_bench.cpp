// Benchmark driver of startup_benchmark.sh (not a test), run under Wine beside the program:
//   startup_bench tasks FIRST LAST STEP   saves the scheduled task "Velloran Config ID" for the
//                                         ids FIRST, FIRST+STEP, ... up to LAST, as the Schedule
//                                         page writes them
//   startup_bench window MS               waits until the main window answers; prints the Unix
//                                         time (seconds) at which it did and its row count
//   startup_bench ticks COUNT GAP_MS      sends timer 1's tick COUNT times, GAP_MS apart, each
//                                         when the window thread is idle, and prints the
//                                         longest and the median in milliseconds
//   startup_bench filled MS SUBITEM...    waits until no cell of these columns of the job list
//                                         reads "..." (a task not read yet) in a sample of about
//                                         a hundred rows spread over the list, and prints the
//                                         Unix time at which they were; then checks every row
//                                         (reading a cell from another process takes about half
//                                         a millisecond, so the whole list is too slow to time)
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <vector>

#include "MsvcrtFormat.h"
#include "RemoteBlock.h"
#include "ScheduledTask.h"

namespace {

const int kListId = 20100;
const UINT kMainTimerId = 1;

int SaveTasks(int first, int last, int step)
{
    if (step < 1 || FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    KeepTaskScheduler();
    int failed = 0, saved = 0;
    for (int id = first; id <= last; id += step) {
        CTask task;
        task.runAsAccount = 0;  // Wine keeps no account
        task.startTime.wYear = (WORD)(task.startTime.wYear + 1);
        task.startTime.wHour = (WORD)(id % 24);
        FormatText(task.parameters, sizeof task.parameters, "/hidden /exitwhendone /run=%d", id);
        char name[kTaskNameSize];
        FormatTaskName(id, name);
        if (FAILED(task.Save(name)))
            ++failed;
        else
            ++saved;
    }
    ReleaseTaskScheduler();
    CoUninitialize();
    WriteText(stdout, "saved=%d failed=%d\n", saved, failed);
    return failed == 0 ? 0 : 1;
}

double UnixSecondsNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULONGLONG ticks = ((ULONGLONG)now.dwHighDateTime << 32) | now.dwLowDateTime;
    return (double)(ticks - 116444736000000000ULL) / 1e7;
}

int WaitForWindow(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowA("Velloran", nullptr);
        DWORD_PTR answer = 0;
        // It answers a sent message once its thread runs the message loop, after creation.
        if (window != nullptr && SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer)) {
            double at = UnixSecondsNow();
            int rows = (int)SendMessageA(GetDlgItem(window, kListId), LVM_GETITEMCOUNT, 0, 0);
            WriteText(stdout, "at=%.3f rows=%d\n", at, rows);
            return 0;
        }
        if (GetTickCount() - start >= ms)
            return 1;
        Sleep(2);
    }
}

int TimeTicks(int count, int gap)
{
    HWND window = FindWindowA("Velloran", nullptr);
    if (window == nullptr || count < 1)
        return 1;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        LARGE_INTEGER before, after;
        DWORD_PTR answer = 0;
        // The window thread answers this once it is back in its loop, so the tick's time is not
        // that of a message (a paint, a real tick) it was handling meanwhile.
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &answer))
            return 1;
        QueryPerformanceCounter(&before);
        if (!SendMessageTimeoutA(window, WM_TIMER, kMainTimerId, 0, SMTO_NORMAL, 60000, &answer))
            return 1;
        QueryPerformanceCounter(&after);
        ms.push_back((double)(after.QuadPart - before.QuadPart) * 1000.0 / (double)frequency.QuadPart);
        Sleep((DWORD)gap);
    }
    std::sort(ms.begin(), ms.end());
    WriteText(stdout, "max=%.2f median=%.2f\n", ms.back(), ms[ms.size() / 2]);
    return 0;
}

class ListCells {
public:
    explicit ListCells(HWND list) : list_(list), block_(list, 4096) {}
    bool ok() const { return block_.ok(); }
    // False when the cell could not be read.
    bool Read(int row, int subitem, char *text, size_t size)
    {
        LVITEMA item{};
        item.iSubItem = subitem;
        item.pszText = block_.at(kTextOffset);
        item.cchTextMax = (int)size;
        if (size > kTextSize || !block_.Write(0, &item, sizeof(item)))
            return false;
        SendMessageA(list_, LVM_GETITEMTEXTA, row, (LPARAM)block_.at(0));
        return block_.Read(kTextOffset, text, size);
    }

private:
    static const SIZE_T kTextOffset = 1024, kTextSize = 1024;
    HWND list_;
    RemoteBlock block_;
};

// 1 when one of these cells of the row reads "...", 0 when none does, -1 when they cannot be read.
int RowWaitsForItsTask(ListCells &cells, int row, const std::vector<int> &subitems)
{
    for (int subitem : subitems) {
        char text[256] = "";
        if (!cells.Read(row, subitem, text, sizeof(text)))
            return -1;
        if (strcmp(text, "...") == 0)
            return 1;
    }
    return 0;
}

// Cells only fill in at start-up: a sampled row once filled stays filled.
int WaitForFilledCells(DWORD ms, const std::vector<int> &subitems)
{
    HWND window = FindWindowA("Velloran", nullptr);
    HWND list = window != nullptr ? GetDlgItem(window, kListId) : nullptr;
    if (list == nullptr || subitems.empty())
        return 1;
    ListCells cells(list);
    if (!cells.ok())
        return 1;
    DWORD start = GetTickCount();
    int rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    int step = rows / 100 > 1 ? rows / 100 : 1;
    for (int row = 0; row < rows; row += step) {
        int waits;
        while ((waits = RowWaitsForItsTask(cells, row, subitems)) == 1) {
            if (GetTickCount() - start >= ms)
                return 1;
            Sleep(2);
        }
        if (waits < 0)
            return 1;
    }
    double at = UnixSecondsNow();
    for (int row = 0; row < rows; ++row)
        if (RowWaitsForItsTask(cells, row, subitems) != 0) {
            WriteText(stderr, "row %d still waits for its task\n", row);
            return 1;
        }
    WriteText(stdout, "at=%.3f\n", at);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 5 && strcmp(argv[1], "tasks") == 0)
        return SaveTasks(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]));
    if (argc == 3 && strcmp(argv[1], "window") == 0)
        return WaitForWindow((DWORD)atoi(argv[2]));
    if (argc == 4 && strcmp(argv[1], "ticks") == 0)
        return TimeTicks(atoi(argv[2]), atoi(argv[3]));
    if (argc >= 4 && strcmp(argv[1], "filled") == 0) {
        std::vector<int> subitems;
        for (int i = 3; i < argc; ++i)
            subitems.push_back(atoi(argv[i]));
        return WaitForFilledCells((DWORD)atoi(argv[2]), subitems);
    }
    WriteText(stderr, "usage: startup_bench tasks FIRST LAST STEP | window MS | ticks COUNT GAP_MS | "
                      "filled MS SUBITEM...\n");
    return 2;
}
