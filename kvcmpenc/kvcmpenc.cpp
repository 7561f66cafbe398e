// kvcmpenc: ZIP archives from a command line in the 7-Zip archiver's syntax.
#include <windows.h>
#include <new>

#include "ArchiveBuilder.h"
#include "CompressionRequest.h"

// The crypto library inside registers a handler with the C runtime's exit list the first time
// it encrypts. The caller unloads this library after each run, so that handler would then
// point into freed memory and crash the program when it exits. The library therefore keeps
// itself loaded once it has been loaded.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        HMODULE pinned = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                reinterpret_cast<LPCWSTR>(instance), &pinned))
            return FALSE;
    }
    return TRUE;
}

// Nothing may leave through the export but a result code.
extern "C" int32_t __stdcall RunDLLCommand(CompressionRequest *request)
{
    if (!request)
        return CompressionSyntaxError;
    try {
        return BuildArchive(*request);
    } catch (const std::bad_alloc &) {
        return CompressionNoMemory;
    } catch (...) {
        return CompressionFailed;
    }
}
