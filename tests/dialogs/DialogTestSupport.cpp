#include "DialogTestSupport.h"

#include <commctrl.h>
#include <prsht.h>

#include <string.h>

#include <thread>

#include "SettingsTest.h"
#include "TextHelpers.h"

namespace {

FakeSettingsTests *currentFake = nullptr;

const int kTestButton = 1093;
const int kTestLabel = 1095;

void FakeMapi(HWND window, const char *recipients, uint32_t flags)
{
    SettingsTestCall call;
    call.kind = "mapi";
    call.recipients = recipients;
    call.flags = flags;
    FakeSettingsTests::Record(window, call);
}

void FakeSmtp(HWND window, const char *recipients, uint32_t flags, const char *server, int port, const char *user,
              const char *password, const char *from)
{
    SettingsTestCall call;
    call.kind = "smtp";
    call.recipients = recipients;
    call.flags = flags;
    call.server = server;
    call.port = port;
    call.user = user;
    call.password = password;
    call.from = from;
    FakeSettingsTests::Record(window, call);
}

int FakeFtp(HWND owner, const char *folder, const char *server, const char *user, const char *password, uint32_t flags,
            int port)
{
    SettingsTestCall call;
    call.kind = "ftp";
    call.folder = folder;
    call.server = server;
    call.user = user;
    call.password = password;
    call.flags = flags;
    call.port = port;
    FakeSettingsTests::Record(owner, call);
    return 1;
}

const SettingsTestApi kFakeApi = {FakeMapi, FakeSmtp, FakeFtp};

bool IsSheet(HWND window)
{
    return SendMessageA(window, PSM_GETCURRENTPAGEHWND, 0, 0) != 0;
}

}  // namespace

FakeSettingsTests::FakeSettingsTests()
{
    currentFake = this;
    SetSettingsTestApiForTesting(&kFakeApi);
}

FakeSettingsTests::~FakeSettingsTests()
{
    SetSettingsTestApiForTesting(nullptr);
    currentFake = nullptr;
}

std::vector<SettingsTestCall> FakeSettingsTests::Calls()
{
    std::lock_guard<std::mutex> hold(lock);
    return calls;
}

void FakeSettingsTests::Record(HWND dialog, SettingsTestCall call)
{
    call.buttonEnabled = IsWindowEnabled(GetDlgItem(dialog, kTestButton)) != FALSE;
    call.labelShown = IsWindowVisible(GetDlgItem(dialog, kTestLabel)) != FALSE;
    {
        std::lock_guard<std::mutex> hold(currentFake->lock);
        currentFake->calls.push_back(call);
    }
    if (currentFake->during)
        currentFake->during(dialog);
}

void PostClick(HWND dialog, int id)
{
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void Choose(HWND dialog, int id, int index)
{
    HWND list = GetDlgItem(dialog, id);
    SendMessageA(list, CB_SETCURSEL, (WPARAM)index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)list);
}

HWND FocusOf(HWND window)
{
    GUITHREADINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return nullptr;
    return info.hwndFocus;
}

bool IsShown(HWND dialog, int id)
{
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

void SetScrambled(char *field, size_t size, const char *plain)
{
    lstrcpynA(field, plain, (int)size);
    ScramblePassword(field);
}

void Settle(HWND window)
{
    Sleep(100);
    SendMessageA(window, WM_NULL, 0, 0);
}

HWND WaitForWindow(const char *title)
{
    HWND found = nullptr;
    WaitUntil([&] {
        found = FindWindowA("#32770", title);
        return found != nullptr && IsWindowVisible(found);
    }, 5000);
    return found != nullptr && IsWindowVisible(found) ? found : nullptr;
}

INT_PTR RunModal(const char *title, const std::function<INT_PTR()> &open, const std::function<void(HWND)> &drive,
                 int closeId)
{
    std::thread driver([&] {
        HWND window = WaitForWindow(title);
        if (window == nullptr)
            return;
        Settle(window);
        drive(window);
        while (IsWindow(window)) {
            if (IsSheet(window))
                PostMessageA(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            else
                PostMessageA(window, WM_COMMAND, (WPARAM)closeId, 0);
            Sleep(50);
        }
    });
    INT_PTR result = open();
    driver.join();
    return result;
}

