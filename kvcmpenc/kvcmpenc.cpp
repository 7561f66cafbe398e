// kvcmpenc: ZIP archives from a command line in the 7-Zip archiver's syntax.
#include <windows.h>
#include <new>

#include "ArchiveBuilder.h"
#include "CompressionRequest.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
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
