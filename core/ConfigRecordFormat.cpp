#include "ConfigRecordFormat.h"

#include <string.h>

namespace {

// Offsets of the stored record (version 3). Versions 1 and 2 are the first 4,532 and
// 4,552 bytes of it.
enum RecordOffset : size_t {
    kDescription = 0,
    kDestination = 128,
    kCompressedFileName = 388,
    kLastRunTime = 648,
    kLastResult = 664,
    kFlags = 668,
    kRevisionCount = 672,
    kZipPassword = 676,
    kSplitSize = 932,
    kSplitUnit = 936,
    kDateFilterFlags = 940,
    kFullBackupEvery = 944,
    kDateFilterCount = 948,
    kLastCompressedRunTime = 952,
    kPriority = 968,
    kRunCount = 972,
    kProgramBefore = 976,
    kProgramAfter = 1236,
    kDateCreated = 1496,
    kDateModified = 1512,
    kSourceCount = 1528,
    kSourcesSlot = 1532,
    kFilterFlags = 1536,
    kExtensionCount = 1540,
    kExtensionsSlot = 1544,
    kExcludedCount = 1548,
    kExcludedSlot = 1552,
    kRunning = 1556,
    kCancelRequested = 1560,
    kManuallyStarted = 1564,
    kProgressPercent = 1568,
    kStatusText = 1572,
    kSmtpSocket = 2092,
    kUploadHandle = 2096,
    kFtpServer = 2100,
    kFtpUsername = 2228,
    kFtpPassword = 2292,
    kFtpDirectory = 2356,
    kEmailFlags = 2616,
    kEmailTo = 2620,
    kMailServer = 2876,
    kEmailFrom = 3004,
    kSmtpUsername = 3260,
    kSmtpPassword = 3324,
    kSmtpPort = 3388,
    kReserved1 = 3392,
    kFtpPort = 4512,
    kReserved2 = 4516,
    kUniqueId = 4528,
    kScheduleKind = 4532,
    kScheduleEveryDays = 4536,
    kScheduleDayMask = 4540,
    kScheduleHour = 4544,
    kScheduleMinute = 4548,
    kNotes = 4552,
    kRecordEnd = 8648,
};

// Each stored field ends where the next begins; pointer and handle slots are 4 bytes, and
// cancelRequested is followed by 3 bytes of padding.
static_assert(kDestination - kDescription == sizeof(BackupConfig::description), "description");
static_assert(kCompressedFileName - kDestination == sizeof(BackupConfig::destination), "destination");
static_assert(kLastRunTime - kCompressedFileName == sizeof(BackupConfig::compressedFileName), "compressedFileName");
static_assert(kLastResult - kLastRunTime == sizeof(BackupConfig::lastRunTime), "lastRunTime");
static_assert(kFlags - kLastResult == sizeof(BackupConfig::lastResult), "lastResult");
static_assert(kRevisionCount - kFlags == sizeof(BackupConfig::flags), "flags");
static_assert(kZipPassword - kRevisionCount == sizeof(BackupConfig::revisionCount), "revisionCount");
static_assert(kSplitSize - kZipPassword == sizeof(BackupConfig::zipPassword), "zipPassword");
static_assert(kSplitUnit - kSplitSize == sizeof(BackupConfig::splitSize), "splitSize");
static_assert(kDateFilterFlags - kSplitUnit == sizeof(BackupConfig::splitUnit), "splitUnit");
static_assert(kFullBackupEvery - kDateFilterFlags == sizeof(BackupConfig::dateFilterFlags), "dateFilterFlags");
static_assert(kDateFilterCount - kFullBackupEvery == sizeof(BackupConfig::fullBackupEvery), "fullBackupEvery");
static_assert(kLastCompressedRunTime - kDateFilterCount == sizeof(BackupConfig::dateFilterCount), "dateFilterCount");
static_assert(kPriority - kLastCompressedRunTime == sizeof(BackupConfig::lastCompressedRunTime), "lastCompressedRunTime");
static_assert(kRunCount - kPriority == sizeof(BackupConfig::priority), "priority");
static_assert(kProgramBefore - kRunCount == sizeof(BackupConfig::runCount), "runCount");
static_assert(kProgramAfter - kProgramBefore == sizeof(BackupConfig::programBefore), "programBefore");
static_assert(kDateCreated - kProgramAfter == sizeof(BackupConfig::programAfter), "programAfter");
static_assert(kDateModified - kDateCreated == sizeof(BackupConfig::dateCreated), "dateCreated");
static_assert(kSourceCount - kDateModified == sizeof(BackupConfig::dateModified), "dateModified");
static_assert(kSourcesSlot - kSourceCount == sizeof(BackupConfig::sourceCount), "sourceCount");
static_assert(kFilterFlags - kSourcesSlot == 4, "sources slot");
static_assert(kExtensionCount - kFilterFlags == sizeof(BackupConfig::filterFlags), "filterFlags");
static_assert(kExtensionsSlot - kExtensionCount == sizeof(BackupConfig::extensionCount), "extensionCount");
static_assert(kExcludedCount - kExtensionsSlot == 4, "extensions slot");
static_assert(kExcludedSlot - kExcludedCount == sizeof(BackupConfig::excludedCount), "excludedCount");
static_assert(kRunning - kExcludedSlot == 4, "excludedItems slot");
static_assert(kCancelRequested - kRunning == sizeof(BackupConfig::running), "running");
static_assert(kManuallyStarted - kCancelRequested == 4 && sizeof(BackupConfig::cancelRequested) == 1, "cancelRequested");
static_assert(kProgressPercent - kManuallyStarted == sizeof(BackupConfig::manuallyStarted), "manuallyStarted");
static_assert(kStatusText - kProgressPercent == sizeof(BackupConfig::progressPercent), "progressPercent");
static_assert(kSmtpSocket - kStatusText == sizeof(BackupConfig::statusText), "statusText");
static_assert(kUploadHandle - kSmtpSocket == sizeof(BackupConfig::smtpSocket), "smtpSocket");
static_assert(kFtpServer - kUploadHandle == 4, "uploadHandle slot");
static_assert(kFtpUsername - kFtpServer == sizeof(BackupConfig::ftpServer), "ftpServer");
static_assert(kFtpPassword - kFtpUsername == sizeof(BackupConfig::ftpUsername), "ftpUsername");
static_assert(kFtpDirectory - kFtpPassword == sizeof(BackupConfig::ftpPassword), "ftpPassword");
static_assert(kEmailFlags - kFtpDirectory == sizeof(BackupConfig::ftpDirectory), "ftpDirectory");
static_assert(kEmailTo - kEmailFlags == sizeof(BackupConfig::emailFlags), "emailFlags");
static_assert(kMailServer - kEmailTo == sizeof(BackupConfig::emailTo), "emailTo");
static_assert(kEmailFrom - kMailServer == sizeof(BackupConfig::mailServer), "mailServer");
static_assert(kSmtpUsername - kEmailFrom == sizeof(BackupConfig::emailFrom), "emailFrom");
static_assert(kSmtpPassword - kSmtpUsername == sizeof(BackupConfig::smtpUsername), "smtpUsername");
static_assert(kSmtpPort - kSmtpPassword == sizeof(BackupConfig::smtpPassword), "smtpPassword");
static_assert(kReserved1 - kSmtpPort == sizeof(BackupConfig::smtpPort), "smtpPort");
static_assert(kFtpPort - kReserved1 == sizeof(BackupConfig::reserved1), "reserved1");
static_assert(kReserved2 - kFtpPort == sizeof(BackupConfig::ftpPort), "ftpPort");
static_assert(kUniqueId - kReserved2 == sizeof(BackupConfig::reserved2), "reserved2");
static_assert(kScheduleKind - kUniqueId == sizeof(BackupConfig::uniqueId), "uniqueId");
static_assert(kScheduleEveryDays - kScheduleKind == sizeof(BackupConfig::scheduleKind), "scheduleKind");
static_assert(kScheduleDayMask - kScheduleEveryDays == sizeof(BackupConfig::scheduleEveryDays), "scheduleEveryDays");
static_assert(kScheduleHour - kScheduleDayMask == sizeof(BackupConfig::scheduleDayMask), "scheduleDayMask");
static_assert(kScheduleMinute - kScheduleHour == sizeof(BackupConfig::scheduleHour), "scheduleHour");
static_assert(kNotes - kScheduleMinute == sizeof(BackupConfig::scheduleMinute), "scheduleMinute");
static_assert(kRecordEnd - kNotes == sizeof(BackupConfig::notes), "notes");
static_assert(kRecordEnd == kRecordSizeV3 && kScheduleKind == kRecordSizeV1 && kNotes == kRecordSizeV2,
              "record sizes of the three versions");

void PutBytes(unsigned char *out, size_t offset, const void *data, size_t size)
{
    memcpy(out + offset, data, size);
}

void PutInt(unsigned char *out, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[offset + i] = (unsigned char)(value >> (8 * i));
}

uint32_t GetInt(const unsigned char *in, size_t offset)
{
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
        value |= (uint32_t)in[offset + i] << (8 * i);
    return value;
}

void PutTime(unsigned char *out, size_t offset, const SYSTEMTIME &time)
{
    const WORD parts[8] = {time.wYear, time.wMonth, time.wDayOfWeek, time.wDay,
                           time.wHour, time.wMinute, time.wSecond, time.wMilliseconds};
    for (int i = 0; i < 8; ++i) {
        out[offset + 2 * i] = (unsigned char)(parts[i] & 0xFF);
        out[offset + 2 * i + 1] = (unsigned char)(parts[i] >> 8);
    }
}

void GetTime(const unsigned char *in, size_t offset, SYSTEMTIME *time)
{
    WORD parts[8];
    for (int i = 0; i < 8; ++i)
        parts[i] = (WORD)(in[offset + 2 * i] | (in[offset + 2 * i + 1] << 8));
    time->wYear = parts[0];
    time->wMonth = parts[1];
    time->wDayOfWeek = parts[2];
    time->wDay = parts[3];
    time->wHour = parts[4];
    time->wMinute = parts[5];
    time->wSecond = parts[6];
    time->wMilliseconds = parts[7];
}

// Copies a stored text field and terminates it inside its array, whatever the file held.
void GetTextField(const unsigned char *in, size_t offset, char *field, size_t size)
{
    memcpy(field, in + offset, size);
    field[size - 1] = '\0';
}

uint32_t PointerSlot(const void *pointer)
{
    return (uint32_t)(uintptr_t)pointer;
}

void PutDouble(unsigned char *out, size_t offset, double value)
{
    uint64_t bits;
    memcpy(&bits, &value, sizeof(bits));
    PutInt(out, offset, (uint32_t)bits);
    PutInt(out, offset + 4, (uint32_t)(bits >> 32));
}

double GetDouble(const unsigned char *in, size_t offset)
{
    uint64_t bits = GetInt(in, offset) | ((uint64_t)GetInt(in, offset + 4) << 32);
    double value;
    memcpy(&value, &bits, sizeof(value));
    return value;
}

} // namespace

void EncodeConfigRecord(const BackupConfig *c, unsigned char *out)
{
    memset(out, 0, kRecordSizeV3);

    PutBytes(out, kDescription, c->description, sizeof(c->description));
    PutBytes(out, kDestination, c->destination, sizeof(c->destination));
    PutBytes(out, kCompressedFileName, c->compressedFileName, sizeof(c->compressedFileName));
    PutTime(out, kLastRunTime, c->lastRunTime);
    PutInt(out, kLastResult, (uint32_t)c->lastResult);
    PutInt(out, kFlags, (uint32_t)c->flags);
    PutInt(out, kRevisionCount, (uint32_t)c->revisionCount);
    PutBytes(out, kZipPassword, c->zipPassword, sizeof(c->zipPassword));
    PutInt(out, kSplitSize, (uint32_t)c->splitSize);
    PutInt(out, kSplitUnit, (uint32_t)c->splitUnit);
    PutInt(out, kDateFilterFlags, (uint32_t)c->dateFilterFlags);
    PutInt(out, kFullBackupEvery, (uint32_t)c->fullBackupEvery);
    PutInt(out, kDateFilterCount, (uint32_t)c->dateFilterCount);
    PutTime(out, kLastCompressedRunTime, c->lastCompressedRunTime);
    PutInt(out, kPriority, (uint32_t)c->priority);
    PutInt(out, kRunCount, (uint32_t)c->runCount);
    PutBytes(out, kProgramBefore, c->programBefore, sizeof(c->programBefore));
    PutBytes(out, kProgramAfter, c->programAfter, sizeof(c->programAfter));
    PutTime(out, kDateCreated, c->dateCreated);
    PutTime(out, kDateModified, c->dateModified);
    PutInt(out, kSourceCount, (uint32_t)c->sourceCount);
    PutInt(out, kSourcesSlot, PointerSlot(c->sources));
    PutInt(out, kFilterFlags, (uint32_t)c->filterFlags);
    PutInt(out, kExtensionCount, (uint32_t)c->extensionCount);
    PutInt(out, kExtensionsSlot, PointerSlot(c->extensions));
    PutInt(out, kExcludedCount, (uint32_t)c->excludedCount);
    PutInt(out, kExcludedSlot, PointerSlot(c->excludedItems));
    PutInt(out, kRunning, (uint32_t)c->running);
    out[kCancelRequested] = c->cancelRequested;
    PutInt(out, kManuallyStarted, (uint32_t)c->manuallyStarted);
    PutInt(out, kProgressPercent, (uint32_t)c->progressPercent);
    PutBytes(out, kStatusText, c->statusText, sizeof(c->statusText));
    PutInt(out, kSmtpSocket, (uint32_t)c->smtpSocket);
    PutInt(out, kUploadHandle, PointerSlot(c->uploadHandle));
    PutBytes(out, kFtpServer, c->ftpServer, sizeof(c->ftpServer));
    PutBytes(out, kFtpUsername, c->ftpUsername, sizeof(c->ftpUsername));
    PutBytes(out, kFtpPassword, c->ftpPassword, sizeof(c->ftpPassword));
    PutBytes(out, kFtpDirectory, c->ftpDirectory, sizeof(c->ftpDirectory));
    PutInt(out, kEmailFlags, (uint32_t)c->emailFlags);
    PutBytes(out, kEmailTo, c->emailTo, sizeof(c->emailTo));
    PutBytes(out, kMailServer, c->mailServer, sizeof(c->mailServer));
    PutBytes(out, kEmailFrom, c->emailFrom, sizeof(c->emailFrom));
    PutBytes(out, kSmtpUsername, c->smtpUsername, sizeof(c->smtpUsername));
    PutBytes(out, kSmtpPassword, c->smtpPassword, sizeof(c->smtpPassword));
    PutInt(out, kSmtpPort, (uint32_t)c->smtpPort);
    PutBytes(out, kReserved1, c->reserved1, sizeof(c->reserved1));
    PutInt(out, kFtpPort, (uint32_t)c->ftpPort);
    PutBytes(out, kReserved2, c->reserved2, sizeof(c->reserved2));
    PutInt(out, kUniqueId, (uint32_t)c->uniqueId);
    PutInt(out, kScheduleKind, (uint32_t)c->scheduleKind);
    PutInt(out, kScheduleEveryDays, (uint32_t)c->scheduleEveryDays);
    PutInt(out, kScheduleDayMask, (uint32_t)c->scheduleDayMask);
    PutInt(out, kScheduleHour, (uint32_t)c->scheduleHour);
    PutInt(out, kScheduleMinute, (uint32_t)c->scheduleMinute);
    PutBytes(out, kNotes, c->notes, sizeof(c->notes));
}

void DecodeConfigRecord(const unsigned char *in, BackupConfig *c)
{
    ZeroMemory(c, sizeof(*c));
    GetTextField(in, kDescription, c->description, sizeof(c->description));
    GetTextField(in, kDestination, c->destination, sizeof(c->destination));
    GetTextField(in, kCompressedFileName, c->compressedFileName, sizeof(c->compressedFileName));
    GetTime(in, kLastRunTime, &c->lastRunTime);
    c->lastResult = (int32_t)GetInt(in, kLastResult);
    c->flags = GetInt(in, kFlags);
    c->revisionCount = (int32_t)GetInt(in, kRevisionCount);
    GetTextField(in, kZipPassword, c->zipPassword, sizeof(c->zipPassword));
    c->splitSize = (int32_t)GetInt(in, kSplitSize);
    c->splitUnit = (int32_t)GetInt(in, kSplitUnit);
    c->dateFilterFlags = (int32_t)GetInt(in, kDateFilterFlags);
    c->fullBackupEvery = (int32_t)GetInt(in, kFullBackupEvery);
    c->dateFilterCount = (int32_t)GetInt(in, kDateFilterCount);
    GetTime(in, kLastCompressedRunTime, &c->lastCompressedRunTime);
    c->priority = (int32_t)GetInt(in, kPriority);
    c->runCount = (int32_t)GetInt(in, kRunCount);
    GetTextField(in, kProgramBefore, c->programBefore, sizeof(c->programBefore));
    GetTextField(in, kProgramAfter, c->programAfter, sizeof(c->programAfter));
    GetTime(in, kDateCreated, &c->dateCreated);
    GetTime(in, kDateModified, &c->dateModified);
    c->sourceCount = (int32_t)GetInt(in, kSourceCount);
    // The sources slot means nothing outside the writing program.
    c->filterFlags = (int32_t)GetInt(in, kFilterFlags);
    c->extensionCount = (int32_t)GetInt(in, kExtensionCount);
    // The extensions slot means nothing outside the writing program.
    c->excludedCount = (int32_t)GetInt(in, kExcludedCount);
    // The excludedItems slot means nothing outside the writing program.
    c->running = (int32_t)GetInt(in, kRunning);
    c->cancelRequested = in[kCancelRequested];
    c->manuallyStarted = (int32_t)GetInt(in, kManuallyStarted);
    c->progressPercent = (int32_t)GetInt(in, kProgressPercent);
    GetTextField(in, kStatusText, c->statusText, sizeof(c->statusText));
    c->smtpSocket = (int32_t)GetInt(in, kSmtpSocket);
    // The uploadHandle slot means nothing outside the writing program.
    GetTextField(in, kFtpServer, c->ftpServer, sizeof(c->ftpServer));
    GetTextField(in, kFtpUsername, c->ftpUsername, sizeof(c->ftpUsername));
    GetTextField(in, kFtpPassword, c->ftpPassword, sizeof(c->ftpPassword));
    GetTextField(in, kFtpDirectory, c->ftpDirectory, sizeof(c->ftpDirectory));
    c->emailFlags = GetInt(in, kEmailFlags);
    GetTextField(in, kEmailTo, c->emailTo, sizeof(c->emailTo));
    GetTextField(in, kMailServer, c->mailServer, sizeof(c->mailServer));
    GetTextField(in, kEmailFrom, c->emailFrom, sizeof(c->emailFrom));
    GetTextField(in, kSmtpUsername, c->smtpUsername, sizeof(c->smtpUsername));
    GetTextField(in, kSmtpPassword, c->smtpPassword, sizeof(c->smtpPassword));
    c->smtpPort = (int32_t)GetInt(in, kSmtpPort);
    // reserved1 is never read: it stays zero.
    c->ftpPort = (int32_t)GetInt(in, kFtpPort);
    // reserved2 is never read: it stays zero.
    c->uniqueId = (int32_t)GetInt(in, kUniqueId);
    c->scheduleKind = (int32_t)GetInt(in, kScheduleKind);
    c->scheduleEveryDays = (int32_t)GetInt(in, kScheduleEveryDays);
    c->scheduleDayMask = (int32_t)GetInt(in, kScheduleDayMask);
    c->scheduleHour = (int32_t)GetInt(in, kScheduleHour);
    c->scheduleMinute = (int32_t)GetInt(in, kScheduleMinute);
    GetTextField(in, kNotes, c->notes, sizeof(c->notes));
}

static_assert(sizeof(SourceItem::path) == 1024 && sizeof(SourceItem::sizeKnown) == 4 &&
                  sizeof(SourceItem::totalBytes) == 8 && sizeof(SourceItem::fileCount) == 4,
              "stored source entry: path 0, sizeKnown 1024, totalBytes 1032, fileCount 1040 of 1048");

void EncodeSourceItem(const SourceItem *item, unsigned char *out)
{
    memset(out, 0, kSourceEntrySizeV3);
    PutBytes(out, 0, item->path, sizeof(item->path));
    PutInt(out, 1024, (uint32_t)item->sizeKnown);
    PutDouble(out, 1032, item->totalBytes);
    PutInt(out, 1040, (uint32_t)item->fileCount);
}

void DecodeSourceItem(const unsigned char *in, SourceItem *item)
{
    ZeroMemory(item, sizeof(*item));
    GetTextField(in, 0, item->path, sizeof(item->path));
    item->sizeKnown = (int32_t)GetInt(in, 1024);
    item->totalBytes = GetDouble(in, 1032);
    item->fileCount = (int32_t)GetInt(in, 1040);
}

void DecodeOldSourceItem(const unsigned char *in, SourceItem *item)
{
    ZeroMemory(item, sizeof(*item));
    GetTextField(in, 0, item->path, 260);
    item->sizeKnown = (int32_t)GetInt(in, 260);
    item->totalBytes = GetDouble(in, 264);
    item->fileCount = (int32_t)GetInt(in, 272);
}
