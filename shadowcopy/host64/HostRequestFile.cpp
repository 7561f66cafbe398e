#include "HostRequestFile.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "ExchangeFile.h"
#include "HostExitCode.h"

namespace {

const int kRequestLines = 11;

// ANSI text into a UTF-16 field of units characters, always terminated.
void ConvertToField(const char *text, wchar_t *field, size_t units)
{
    wchar_t wide[260] = {};
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 260) == 0)
        wide[0] = L'\0';
    wide[259] = L'\0';
    size_t n = wcslen(wide);
    if (n > units - 1)
        n = units - 1;
    memcpy(field, wide, n * sizeof(wchar_t));
    field[n] = L'\0';
}

}  // namespace

void TrimRequestLine(char *line)
{
    size_t length = strlen(line);
    while (length > 0 && strchr("\t\n\r ", line[length - 1]) != nullptr)
        line[--length] = '\0';
}

int ReadHostRequestFile(const char *path, HostRequest *request)
{
    FILE *file = fopen(path, "r");
    if (file == nullptr)
        return kHostNoRequestFile;
    char lines[kRequestLines][260] = {};
    int missing = 0;
    for (int k = 0; k < kRequestLines; k++) {
        if (fgets(lines[k], sizeof lines[k], file) == nullptr) {
            missing = k + 1;
            break;
        }
        if (k != 1)
            TrimRequestLine(lines[k]);
    }
    fclose(file);
    if (missing != 0)
        return kHostRequestLineMissing + missing;

    memset(request, 0, sizeof *request);
    strcpy(request->ownLog, lines[0]);
    strcpy(request->reply, lines[2]);
    strcpy(request->release, lines[3]);
    ConvertToField(lines[4], request->block.targetLetters, 65);
    ConvertToField(lines[5], request->block.sourceLetters, 65);
    ConvertToField(lines[6], request->block.logPath, 260);
    request->block.verbose = ParseExchangeNumber(lines[7]);
    request->block.releaseRequest = 0;
    request->block.status = -1;
    request->block.active = 1;
    return 0;
}
