#include "HostRequestFile.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "ExchangeFile.h"
#include "HostExitCode.h"

namespace {

const int kRequestLines = 11;
const size_t kLineChars = 259;  // every line's text, its line end not counted

// ANSI text into a UTF-16 field of units characters, always terminated.
void ConvertToField(const char *text, wchar_t *field, size_t units)
{
    wchar_t wide[kLineChars + 1] = {};
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, (int)kLineChars + 1) == 0)
        wide[0] = L'\0';
    size_t n = wcslen(wide);
    if (n > units - 1)
        n = units - 1;
    memcpy(field, wide, n * sizeof(wchar_t));
    field[n] = L'\0';
}

// Reads one line into line (kLineChars + 2 bytes) without its line feed. A line too long
// for it stops the reading: split, its rest would be taken for the next line.
enum LineRead { LineReadWhole, LineReadMissing, LineReadTooLong };
LineRead ReadRequestLine(FILE *file, char *line)
{
    if (fgets(line, (int)kLineChars + 2, file) == nullptr)
        return LineReadMissing;
    size_t length = strlen(line);
    if (length > 0 && line[length - 1] == '\n')
        line[--length] = '\0';
    return length > kLineChars ? LineReadTooLong : LineReadWhole;
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
    memset(request, 0, sizeof *request);
    FILE *file = fopen(path, "r");
    if (file == nullptr)
        return kHostNoRequestFile;
    char lines[kRequestLines][kLineChars + 2] = {};
    int missing = 0;
    for (int k = 0; k < kRequestLines && missing == 0 && request->malformedLine == 0; k++) {
        LineRead read = ReadRequestLine(file, lines[k]);
        if (read == LineReadMissing)
            missing = k + 1;
        else if (read == LineReadTooLong)
            request->malformedLine = k + 1;
        else if (k != 1)
            TrimRequestLine(lines[k]);
    }
    fclose(file);
    if (missing != 0)
        return kHostRequestLineMissing + missing;
    if (request->malformedLine != 0)
        return kHostMalformedRequest;

    strcpy(request->ownLog, lines[0]);
    strcpy(request->reply, lines[2]);
    strcpy(request->release, lines[3]);
    strcpy(request->libraryLog, lines[6]);
    ConvertToField(lines[4], request->block.targetLetters, 65);
    ConvertToField(lines[5], request->block.sourceLetters, 65);
    ConvertToField(lines[6], request->block.logPath, 260);
    request->block.verbose = ParseExchangeNumber(lines[7]);
    request->block.releaseRequest = 0;
    request->block.status = -1;
    request->block.active = 1;
    return 0;
}
