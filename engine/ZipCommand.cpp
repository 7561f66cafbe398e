// The pieces of the compression library's command line, and the log line of each result.
#include <string.h>

#include "CompressionRequest.h"
#include "MsvcrtFormat.h"
#include "PlainPassword.h"
#include "ZipStep.h"

void BuildVolumeSwitch(const JobContext *context, char *out64)
{
    const BackupConfig *config = context->config;
    out64[0] = '\0';
    if (context->burnToDisc == 1 && context->spanDiscs == 1) {
        FormatText(out64, 64, "-v%I64db ", (long long)context->discFreeBytes);
        return;
    }
    if (!(config->flags & SplitZip))
        return;
    char unit = config->splitUnit == 0 ? 'b' : config->splitUnit == 1 ? 'k' : config->splitUnit == 2 ? 'm' : 'g';
    FormatText(out64, 64, "-v%d%c ", (int)config->splitSize, unit);
}

int BuildPasswordSwitch(const BackupConfig *config, char *out384, FILE *log)
{
    out384[0] = '\0';
    if (!(config->flags & Encrypted))
        return 1;
    PlainPassword password(config->zipPassword, sizeof(config->zipPassword));
    int result = 1;
    // The password is quoted on the command line; a quote inside it would end the switch early.
    if (strchr(password.Text(), '"') != nullptr) {
        WriteText(log, "ERROR: ZIP password contains a double quote (\"), which cannot be passed to the "
                       "compression library\n");
        result = 0;
    } else if (FormatText(out384, 384, "-p\"%s\" -mem=AES256 ", password.Text()) < 0) {
        WriteText(log, "ERROR: ZIP password too long\n");
        result = 0;
    }
    if (!result)
        SecureZeroMemory(out384, 384);
    return result;
}

void LogCompressionResult(FILE *log, int code, const char *libraryMessage)
{
    const char *line;
    if (code == CompressionFailed && strcmp(libraryMessage, kCompressionDiskFullMessage) == 0) {
        WriteText(log, "ERROR (%d): Compression operation Failed: disk full. An earlier archive of this name is "
                       "kept.\n", code);
        return;
    }
    switch (code) {
    case CompressionWarnings:
        line = "WARNING (%d): Compression operation completed with warnings.\n";
        break;
    case CompressionFailed:
        line = "ERROR (%d): Compression operation Failed.\n";
        break;
    case CompressionSyntaxError:
        line = "ERROR (%d): Compression operation failed with a syntax error.\n";
        break;
    case CompressionNoMemory:
        line = "ERROR (%d): Compression operation failed with an insufficient memory error.\n";
        break;
    case CompressionAborted:
        line = "ERROR (%d): Compression operation aborted for unknown reason\n";
        break;
    default:
        line = "ERROR (%d): Compression operation returned an unknown error code.\n";
        break;
    }
    WriteText(log, line, code);
}
