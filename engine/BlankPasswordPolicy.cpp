// Windows keeps the Task Scheduler from running tasks of accounts with an empty password unless
// the Lsa value "LimitBlankPasswordUse" is 0; a task saved for such an account would never run.
#include <windows.h>

#include "MessageBoxSeam.h"
#include "ScheduledTask.h"

namespace {

const char kLsaKey[] = "SYSTEM\\CurrentControlSet\\Control\\Lsa";
const char kLimitValue[] = "LimitBlankPasswordUse";

// A key or value that cannot be read counts as the limit being on.
DWORD ReadBlankPasswordLimit()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLsaKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    DWORD value = 1, type = 0, size = sizeof value;
    LONG rc = RegQueryValueExA(key, kLimitValue, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value)
        return 1;
    return value;
}

bool WriteBlankPasswordLimitOff()
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kLsaKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD off = 0;
    LONG rc = RegSetValueExA(key, kLimitValue, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&off), sizeof off);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace

int AllowBlankPasswordTasks(HWND owner)
{
    if (ReadBlankPasswordLimit() == 0)
        return 1;
    int answer = ShowMessageBox(owner,
        "Your Windows preferences are currently set so that Windows Task Scheduler cannot launch jobs as a user "
        "with an empty password.  This is a security precaution in Windows.  To utilize Windows Task Scheduler "
        "you will either need to assign a password to your account, or change this security preference.\n\n"
        "Do you want Velloran to change this preference, and allow Windows Task Scheduler to run tasks for users "
        "with an empty password?",
        kProductName, MB_YESNO);
    if (answer != IDYES)
        return 0;
    if (!WriteBlankPasswordLimitOff())
        return 0;
    ShowMessageBox(owner,
        "Your preferences have been successfully updated.  Users with an empty password can now use Windows Task "
        "Scheduler.",
        kProductName, MB_OK);
    return 1;
}
