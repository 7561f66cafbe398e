// The state of one backup run, zero-filled at its start and handed to every step of the job.
#pragma once
#include <windows.h>
#include <stdint.h>

#include "BackupConfig.h"
#include "ShadowCopyRequest.h"

struct ZipOutput;
class ZipNameIndex;
struct CopyWork;
class ListingCache;
class WalkBounds;

struct JobContext {
    BackupConfig *config;
    int32_t *progress;
    char destination[260];
    int32_t burnToDisc;
    int32_t spanDiscs;
    double discFreeBytes;
    char stagingFolder[260];
    char revisionsFolder[260];
    char deletedFolder[260];
    char compressedFolder[260];
    char backupFolder[260];
    ZipOutput *zipOutputs;
    int32_t zipOutputCount;
    int32_t includeAllFiles;
    // During the ZIP step of a date-filtered run: the files archived since the last full run
    // (ZipNameRecord.h); NULL otherwise.
    ZipNameIndex *zipArchived;
    SYSTEMTIME startUtc;   // the start of the run, UTC
    char shadowSources[65];
    char unshadowedDrives[65];
    char shadowTargets[65];
    ShadowCopyRequest shadowRequest;
    HMODULE shadowLibrary;
    // 1 once the shadow-copy library's thread was given up on while it may still write
    // shadowRequest: the context is then never freed.
    int32_t shadowRequestInUse;
    int32_t allowedTimeDelta;
    int32_t totalFiles;
    double totalBytes;
    int32_t filesTotal, filesChanged, filesCopied, filesNotChanged, filesFailed;
    double bytesTotal, bytesChanged, bytesCopied, bytesNotChanged, bytesFailed;
    int32_t revisedCount;
    int32_t deletedCount;
    // Sources whose folder could not be listed in this run (one flag per source, NULL when
    // none failed): the clean-up passes leave their mirrors alone.
    uint8_t *unlistedSources;
    // Where this run's copies are written before they take their final names (SafeFileCopy.h);
    // NULL until the first copy.
    CopyWork *copyWork;
    // Folder listings kept from one pass for the next ones of this run (ListingCache.h); NULL
    // when none are kept.
    ListingCache *listings;
    // What the walks of the sources leave out (WalkBounds.h); NULL until the backup folder is
    // known.
    WalkBounds *walkBounds;
    // Warnings of the mirror walk and the ZIP listing that let them go on (a revision not
    // saved, a folder link not followed): the job ends with Warnings.
    int32_t warningsNoted;
};
