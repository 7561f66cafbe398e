// The new archive is written under a temporary name beside the previous one, which it replaces
// only once it is complete: a job killed while compressing, or a destination that fills up,
// leaves the previous archive whole under its own name and nothing torn under that name.
#include <string.h>

#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "MsvcrtFormat.h"
#include "ZipStep.h"

const char kZipTemporarySuffix[] = ".vlrnew";

namespace {

const int kLastZipPart = 9998;

void LogUndeletable(FILE *log, const char *path)
{
    LogLastError("Delete File", log);
    WriteText(log, "ERROR: Unable to delete old zip file: %s\n", path);
}

// The parts "<path>.001" upward that exist, at most kLastZipPart; false when there are more.
bool FindParts(const char *path, std::vector<std::string> *parts)
{
    char part[kZipFileNameSize];
    for (int n = 1;; ++n) {
        FormatZipPartName(part, sizeof(part), path, n);
        if (!ZipFileExists(part))
            return true;
        if (n > kLastZipPart)
            return false;
        parts->push_back(part);
    }
}

// The previous archive's files: the archive itself and, when this run writes volumes, its
// parts. Each must be deletable before anything is moved, so a file that another program holds
// open fails the step with the previous archive still whole.
bool CollectOldFiles(const char *zipPath, FILE *log, JobContext *context, std::vector<std::string> *old)
{
    if (ZipFileExists(zipPath))
        old->push_back(zipPath);
    if (UsesZipVolumes(context)) {
        if (strlen(zipPath) >= 256) {
            WriteText(log, "ERROR: ZIP file path too long for splitting: %s\n", zipPath);
            return false;
        }
        if (!FindParts(zipPath, old)) {
            WriteText(log, "ERROR: Too many old ZIP file parts in destination path: %s\n", zipPath);
            return false;
        }
    }
    for (const std::string &file : *old) {
        if (!CanDeleteZipFile(file.c_str())) {
            LogUndeletable(log, file.c_str());
            return false;
        }
    }
    return true;
}

bool MoveIntoPlace(FILE *log, const char *from, const char *to)
{
    if (MoveZipFile(from, to))
        return true;
    LogLastError("Move File", log);
    WriteText(log, "ERROR: Unable to put the new zip file in place of the old one: %s\n", to);
    return false;
}

}  // namespace

void MakeTemporaryZipPath(const char *zipPath, char *out, size_t outSize)
{
    FormatText(out, outSize, "%s%s", zipPath, kZipTemporarySuffix);
}

int DeleteTemporaryZipFiles(const char *temporary, FILE *log)
{
    std::vector<std::string> files;
    if (ZipFileExists(temporary))
        files.push_back(temporary);
    FindParts(temporary, &files);
    for (const std::string &file : files) {
        if (DeleteZipFile(file.c_str()) == 0) {
            LogUndeletable(log, file.c_str());
            return 0;
        }
    }
    return 1;
}

int ReplaceOldZipFiles(const char *temporary, const char *zipPath, FILE *log, JobContext *context)
{
    std::vector<std::string> old;
    if (!CollectOldFiles(zipPath, log, context, &old))
        return 0;
    // The new archive is one file, or parts that take the numbers of the old ones.
    std::vector<std::string> newParts;
    bool single = ZipFileExists(temporary);
    if (!single && !FindParts(temporary, &newParts))
        return 0;
    std::vector<std::string> replaced;
    if (single) {
        if (!MoveIntoPlace(log, temporary, zipPath))
            return 0;
        replaced.push_back(zipPath);
    } else {
        char part[kZipFileNameSize];
        for (size_t i = 0; i < newParts.size(); ++i) {
            FormatZipPartName(part, sizeof(part), zipPath, (int)i + 1);
            if (!MoveIntoPlace(log, newParts[i].c_str(), part))
                return 0;
            replaced.push_back(part);
        }
    }
    // What is left of the old archive would join the new one's parts or stand for it.
    for (const std::string &file : old) {
        bool overwritten = false;
        for (const std::string &name : replaced)
            overwritten = overwritten || _stricmp(name.c_str(), file.c_str()) == 0;
        if (!overwritten && DeleteZipFile(file.c_str()) == 0) {
            LogUndeletable(log, file.c_str());
            return 0;
        }
    }
    return 1;
}
