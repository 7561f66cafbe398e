// kv64wrap: the 64-bit shadow-copy host started by kv64dll.
#include <windows.h>
#include "ShadowCopyRequest.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 1;
}
