#include "DisplayFormats.h"

#include <ctype.h>
#include <string.h>

#include "BackupConfig.h"
#include "MsvcrtFormat.h"

void FormatByteSize(char *out, size_t outSize, double bytes)
{
    int decimals = 2;
    const char *unit;
    double value;
    if (bytes >= 1073741824.0) {
        value = bytes / 1073741824.0;
        unit = "GB";
    } else if (bytes >= 1048576.0) {
        value = bytes / 1048576.0;
        unit = "MB";
    } else if (bytes >= 1024.0) {
        value = bytes / 1024.0;
        unit = "KB";
    } else {
        value = bytes;
        decimals = 0;
        unit = "bytes";
    }
    FormatText(out, outSize, "%.*lf %s", decimals, value, unit);
}

void FormatThousands(char *out, size_t outSize, int value)
{
    char text[32];
    FormatText(text, sizeof(text), "%d", value);
    size_t length = strlen(text);
    char *dot = strrchr(text, '.');
    size_t current = dot != nullptr ? (size_t)(dot - text) - 1 : length - 1;
    while (current >= 3) {
        bool digits = true;
        for (size_t i = current - 3; i <= current; ++i)
            digits = digits && isdigit((unsigned char)text[i]);
        if (!digits)
            break;
        // Insert ',' before the last three of the four digits.
        memmove(text + current - 1, text + current - 2, strlen(text + current - 2) + 1);
        text[current - 2] = ',';
        current -= 3;
    }
    FormatText(out, outSize, "%s", text);
}

int GetConfigTotals(const BackupConfig *config, double *totalBytes, int *totalFiles)
{
    int allKnown = 1;
    *totalBytes = 0.0;
    *totalFiles = 0;
    for (int i = 0; i < config->sourceCount && config->sources != nullptr; ++i) {
        const SourceItem &source = config->sources[i];
        if (source.sizeKnown != 1)
            allKnown = 0;
        *totalBytes += source.totalBytes;
        *totalFiles += source.fileCount;
    }
    return allKnown;
}

static void AppendBounded(char *text, size_t size, const char *suffix)
{
    size_t length = strlen(text);
    if (length + 1 < size)
        FormatText(text + length, size - length, "%s", suffix);
}

int FormatConfigTotals(const BackupConfig *config, char *sizeText, size_t sizeTextSize,
                       char *countText, size_t countTextSize)
{
    sizeText[0] = '\0';
    countText[0] = '\0';
    double bytes;
    int files;
    int allKnown = GetConfigTotals(config, &bytes, &files);
    FormatByteSize(sizeText, sizeTextSize, bytes);
    FormatThousands(countText, countTextSize, files);
    if (!allKnown) {
        AppendBounded(sizeText, sizeTextSize, "...");
        AppendBounded(countText, countTextSize, "...");
    }
    return allKnown;
}
