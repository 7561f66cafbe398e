#include "FtpPaths.h"

#include <stdlib.h>
#include <string.h>

#include <windows.h>

int NormalizeFtpFolder(const char *directory, char *out260)
{
    out260[0] = '\0';
    size_t length = strlen(directory);
    if (length >= 259)
        return 0;
    memcpy(out260, directory, length + 1);
    if (length > 0 && directory[length - 1] != '\\' && directory[length - 1] != '/') {
        out260[length] = strchr(directory, '\\') != nullptr ? '\\' : '/';
        out260[length + 1] = '\0';
    }
    return 1;
}

int NormalizeSecureFtpFolder(const char *directory, char *out260)
{
    out260[0] = '\0';
    size_t length = strlen(directory);
    if (length >= 259)
        return 0;
    if (directory[0] == '/') {
        ++directory;
        --length;
    }
    memcpy(out260, directory, length + 1);
    if (length > 0 && directory[length - 1] != '/') {
        out260[length] = '/';
        out260[length + 1] = '\0';
    }
    return 1;
}

int NormalizeFtpServer(const char *server, char *out128)
{
    const char *start = strstr(server, "//");
    start = start != nullptr ? start + 2 : server;
    lstrcpynA(out128, start, 128);
    size_t length = strlen(out128);
    if (length == 0)
        return 0;
    if (out128[length - 1] == '/')
        out128[length - 1] = '\0';
    return 1;
}

int ParseRestartReply(const char *reply, int64_t *position)
{
    *position = 0;
    const char *code = strstr(reply, "350");
    if (code == nullptr)
        return 0;
    const char *p = code + 3;
    while (*p != '\0' && *p != '-' && (*p < '0' || *p > '9'))
        ++p;
    const char *digits = *p == '-' ? p + 1 : p;
    if (*digits < '0' || *digits > '9')
        return 0;
    *position = _strtoi64(p, nullptr, 10);
    return 1;
}
