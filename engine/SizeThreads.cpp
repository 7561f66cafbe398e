#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "MessageBoxSeam.h"
#include "SizeCalculation.h"

HANDLE allSizesThread = nullptr;
volatile int32_t allSizesRunning = 0;
volatile uint8_t allSizesCancel = 0;
volatile int32_t editedSizeRunning = 0;
volatile uint8_t editedSizeCancel = 0;

static DWORD WINAPI EditedConfigSizeThread(LPVOID argument)
{
    BackupConfig *config = static_cast<BackupConfig *>(argument);
    DWORD result = MeasureUnknownSources(config, &editedSizeCancel) && !IsCancelSet(&editedSizeCancel) ? 1 : 0;
    __atomic_store_n(&editedSizeRunning, 0, __ATOMIC_RELEASE);
    return result;
}

static DWORD WINAPI AllConfigSizesThread(LPVOID)
{
    for (int index = 0; index < __atomic_load_n(&configTable.configCount, __ATOMIC_ACQUIRE); ++index)
        if (!MeasureUnknownSources(ConfigAt(index), &allSizesCancel))
            break;
    __atomic_store_n(&allSizesRunning, 0, __ATOMIC_RELEASE);
    return 0;
}

static void WaitUntilClear(volatile int32_t *running)
{
    while (__atomic_load_n(running, __ATOMIC_ACQUIRE) == 1)
        Sleep(5);
}

void StopEditedConfigSize()
{
    if (__atomic_load_n(&editedSizeRunning, __ATOMIC_ACQUIRE) == 1) {
        __atomic_store_n(&editedSizeCancel, 1, __ATOMIC_RELEASE);
        WaitUntilClear(&editedSizeRunning);
    }
}

int StartEditedConfigSize(HWND window)
{
    StopEditedConfigSize();
    __atomic_store_n(&editedSizeCancel, 0, __ATOMIC_RELEASE);
    // Marked running before the thread exists, so a stop right after the start still waits.
    __atomic_store_n(&editedSizeRunning, 1, __ATOMIC_RELEASE);
    HANDLE thread = CreateThread(nullptr, 0, EditedConfigSizeThread, &editedConfig, 0, nullptr);
    if (thread == nullptr) {
        __atomic_store_n(&editedSizeRunning, 0, __ATOMIC_RELEASE);
        ShowMessageBox(window, "ERROR: Could not start size calculation thread", kProductName, MB_ICONWARNING);
        return 0;
    }
    CloseHandle(thread);
    return 1;
}

static bool AllSourcesMeasured()
{
    for (int index = 0; index < configTable.configCount; ++index) {
        const BackupConfig *config = ConfigAt(index);
        for (int i = 0; i < config->sourceCount; ++i)
            if (config->sources[i].sizeKnown != 1)
                return false;
    }
    return true;
}

int StartAllConfigSizes(HWND window)
{
    if (configTable.configCount == 0 || AllSourcesMeasured())
        return 1;
    StopAllConfigSizes();
    __atomic_store_n(&allSizesCancel, 0, __ATOMIC_RELEASE);
    __atomic_store_n(&allSizesRunning, 1, __ATOMIC_RELEASE);
    allSizesThread = CreateThread(nullptr, 0, AllConfigSizesThread, nullptr, 0, nullptr);
    if (allSizesThread == nullptr) {
        __atomic_store_n(&allSizesRunning, 0, __ATOMIC_RELEASE);
        ShowMessageBox(window, "ERROR: Could not start configuration size calculation thread", kProductName,
                       MB_ICONWARNING);
        return 0;
    }
    SetThreadPriority(allSizesThread, THREAD_PRIORITY_BELOW_NORMAL);
    return 1;
}

void StopAllConfigSizes()
{
    if (allSizesThread == nullptr)
        return;
    SetThreadPriority(allSizesThread, THREAD_PRIORITY_NORMAL);
    HANDLE thread = allSizesThread;
    allSizesThread = nullptr;
    if (__atomic_load_n(&allSizesRunning, __ATOMIC_ACQUIRE) == 1) {
        __atomic_store_n(&allSizesCancel, 1, __ATOMIC_RELEASE);
        WaitUntilClear(&allSizesRunning);
    }
    CloseHandle(thread);
}
