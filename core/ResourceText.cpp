#include "ResourceText.h"

int LoadResourceText(UINT id, char *out, int outSize)
{
    if (outSize <= 0)
        return 0;
    out[0] = '\0';
    int length = LoadStringA(GetModuleHandleA(nullptr), id, out, outSize);
    if (length <= 0) {
        out[0] = '\0';
        return 0;
    }
    out[outSize - 1] = '\0';
    return length;
}
