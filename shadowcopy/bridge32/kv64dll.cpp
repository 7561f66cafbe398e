// kv64dll: the 32-bit shadow-copy bridge.
#include <windows.h>
#include "ShadowCopyRequest.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" int32_t __stdcall MakeShadowCopy(ShadowCopyRequest *request)
{
    // Until the bridge is built, report that the host never answered.
    request->status = 4;
    request->active = 0;
    return 4;
}
