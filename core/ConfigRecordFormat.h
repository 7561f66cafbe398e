// The stored form of a configuration record and its array entries, written and read field by
// field at fixed offsets, whatever the platform's layout of BackupConfig.
#pragma once
#include <stddef.h>

#include "BackupConfig.h"

const size_t kRecordSizeV3 = 8648;
const size_t kRecordSizeV2 = 4552;
const size_t kRecordSizeV1 = 4532;
const size_t kSourceEntrySizeV3 = 1048;
const size_t kSourceEntrySizeOld = 280;
const size_t kExtensionEntrySize = 8;
const size_t kExcludedEntrySizeV3 = 1024;
const size_t kExcludedEntrySizeOld = 260;

// Writes the record into out (kRecordSizeV3 bytes). Pointer slots carry the low 32 bits of the
// pointers, as the layout has 4 bytes for them.
void EncodeConfigRecord(const BackupConfig *config, unsigned char *out);
// Reads a version-3 record image (kRecordSizeV3 bytes). Array pointers are cleared and every
// text field is terminated inside its array.
void DecodeConfigRecord(const unsigned char *in, BackupConfig *config);

void EncodeSourceItem(const SourceItem *item, unsigned char *out);
void DecodeSourceItem(const unsigned char *in, SourceItem *item);
// Version 1 and 2 source entry (260-byte path).
void DecodeOldSourceItem(const unsigned char *in, SourceItem *item);
