#include "ExchangePaths.h"

#include <string.h>

bool DeriveExchangePath(const char *logPath, const char *fileName, char *out, size_t size)
{
    const char *tail = strstr(logPath, "VSSLog.txt");
    if (tail == nullptr)
        return false;
    size_t head = (size_t)(tail - logPath);
    size_t name = strlen(fileName);
    if (head + name + 1 > size)
        return false;
    memcpy(out, logPath, head);
    memcpy(out + head, fileName, name + 1);
    return true;
}
