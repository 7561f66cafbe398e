#include "ExchangeFile.h"

#include <windows.h>
#include <share.h>
#include <stdio.h>
#include <string.h>

#include "CheckedFile.h"
#include "MsvcrtFormat.h"

bool ReadExchangeFirstLine(const char *path, char *line, size_t size)
{
    // _SH_DENYWR fails while the writer still holds the file open.
    FILE *file = _fsopen(path, "r", _SH_DENYWR);
    if (file == nullptr)
        return false;
    char buffer[10] = "";
    bool read = fgets(buffer, sizeof buffer, file) != nullptr;
    fclose(file);
    if (!read)
        return false;
    buffer[strcspn(buffer, "\r\n")] = '\0';
    if (buffer[0] == '\0')
        return false;
    strncpy(line, buffer, size - 1);
    line[size - 1] = '\0';
    return true;
}

int ParseExchangeNumber(const char *text)
{
    const char *p = text;
    while (*p == ' ' || *p == '\t')
        p++;
    int sign = 1;
    if (*p == '-' || *p == '+') {
        if (*p == '-')
            sign = -1;
        p++;
    }
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < 0x80000000LL)
            value = value * 10 + (*p - '0');
        p++;
    }
    if (value > 0x7fffffffLL)
        value = sign < 0 ? 0x80000000LL : 0x7fffffffLL;
    return (int)(sign * value);
}

bool ReadExchangeNumber(const char *path, int *value)
{
    char line[10];
    if (!ReadExchangeFirstLine(path, line, sizeof line))
        return false;
    *value = ParseExchangeNumber(line);
    return true;
}

bool WriteExchangeNumber(const char *path, int value, FileCheck *check)
{
    // The other side polls the file in a mode that denies writers while it reads, so an open
    // that lands inside one of its reads is refused; it is tried again for a short while.
    const int kTries = 20;
    const DWORD kRetryMs = 25;
    const DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    FILE *file = OpenCheckedStream(path, "w", kShare, check);
    for (int tried = 1; file == nullptr && tried < kTries && check->outcome == kFileNotOpened &&
                        check->error == ERROR_SHARING_VIOLATION;
         ++tried) {
        Sleep(kRetryMs);
        file = OpenCheckedStream(path, "w", kShare, check);
    }
    if (file == nullptr)
        return false;
    bool written = WriteText(file, "%d\n", value) > 0;
    if (fclose(file) != 0)
        written = false;
    return written;
}
