// kvcmpenc: ZIP archives from a command line in the 7-Zip archiver's syntax.
#include <windows.h>
#include "CompressionRequest.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" int32_t __stdcall RunDLLCommand(CompressionRequest *)
{
    return CompressionFailed;
}
