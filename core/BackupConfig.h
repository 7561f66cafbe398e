// One backup configuration: fixed-size text fields, integers and times, a block of run-time
// fields shared with a running job, and three owned arrays. The stored form is written field by
// field (ConfigRecordFormat.cpp), so the in-memory layout may follow the platform.
#pragma once
#include <windows.h>
#include <stdint.h>

struct SourceItem {
    char path[1024];   // ends in '\' for a folder
    int32_t sizeKnown; // 1 once the size calculation measured it
    double totalBytes;
    int32_t fileCount;
};

typedef char ExtensionEntry[8];
typedef char ExcludedEntry[1024];

enum ConfigFlags : uint32_t {
    SaveRevisions = 0x1,
    SaveDeleted = 0x2,
    Uncompressed = 0x4,
    Compressed = 0x8,
    Encrypted = 0x10,
    SplitZip = 0x20,
    Enabled = 0x40,
    RunProgramBefore = 0x80,
    RunProgramAfter = 0x100,
    RemoteFtp = 0x200,
    RemoteEmail = 0x400,
    FtpsImplicit = 0x1000,
    FtpsExplicit = 0x2000,
    Sftp = 0x4000,
    VerifyCertificate = 0x8000,
    VerifyHostName = 0x10000,
};

enum EmailFlags : uint32_t {
    UseSimpleMapi = 0x1,
    MapiPlainAddress = 0x2,
    UseAuthentication = 0x4,
    DefaultPort = 0x8,
    SecureSsl = 0x10,
    SecureTls = 0x20,
};

enum FilterFlags : int32_t {
    IncludeListedExtensions = 0x1,
    SkipHidden = 0x2,
    SkipSystem = 0x4,
};

enum DateFilterFlags : int32_t {
    AlwaysAll = 0x1,
    EveryNAll = 0x2,
};

enum class SplitUnit : int32_t { Bytes = 0, KB = 1, MB = 2, GB = 3 };
enum class JobPriority : int32_t { VeryLow = 0, Low = 1, Normal = 2, High = 3 };
enum class ScheduleKind : int32_t { None = 0, EveryNDays = 1, Weekly = 2 };
enum class JobResult : int32_t {
    None = 0, Success = 1, Failed = 2, Warnings = 3, Aborted = 4,
    LogOpenFailed = 5, Disabled = 6, NoBackupType = 7
};

struct BackupConfig {
    char description[128];
    char destination[260];
    char compressedFileName[260];
    SYSTEMTIME lastRunTime;
    int32_t lastResult;
    uint32_t flags;
    int32_t revisionCount;
    char zipPassword[256]; // scrambled
    int32_t splitSize;
    int32_t splitUnit;
    int32_t dateFilterFlags;
    int32_t fullBackupEvery;
    int32_t dateFilterCount;
    SYSTEMTIME lastCompressedRunTime; // UTC
    int32_t priority;
    int32_t runCount;
    char programBefore[260];
    char programAfter[260];
    SYSTEMTIME dateCreated;
    SYSTEMTIME dateModified;
    int32_t sourceCount;
    SourceItem *sources;
    int32_t filterFlags;
    int32_t extensionCount;
    ExtensionEntry *extensions;
    int32_t excludedCount;
    ExcludedEntry *excludedItems;
    // Run-time fields: use the accessors of ConfigRuntime.h across threads.
    int32_t running;
    uint8_t cancelRequested;
    int32_t manuallyStarted;
    int32_t progressPercent;
    char statusText[520];
    int32_t smtpSocket;
    void *uploadHandle; // HINTERNET
    char ftpServer[128];
    char ftpUsername[64];
    char ftpPassword[64]; // scrambled
    char ftpDirectory[260];
    uint32_t emailFlags;
    char emailTo[256];
    char mailServer[128];
    char emailFrom[256];
    char smtpUsername[64];
    char smtpPassword[64]; // scrambled
    int32_t smtpPort;
    uint8_t reserved1[1120];
    int32_t ftpPort;
    uint8_t reserved2[12];
    int32_t uniqueId;
    int32_t scheduleKind;
    int32_t scheduleEveryDays;
    int32_t scheduleDayMask;
    int32_t scheduleHour;
    int32_t scheduleMinute;
    char notes[4096];
};

static_assert(sizeof(SYSTEMTIME) == 16, "SYSTEMTIME is eight 16-bit fields");
static_assert(sizeof(ExtensionEntry) == 8 && sizeof(ExcludedEntry) == 1024, "array entry widths");
