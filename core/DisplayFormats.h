// Texts for byte sizes, counts and the size of a configuration's sources.
#pragma once
#include <stddef.h>

struct BackupConfig;

void FormatByteSize(char *out, size_t outSize, double bytes);
void FormatThousands(char *out, size_t outSize, int value);

// Sums the configuration's measured sources. Returns 1 when every source has been measured.
int GetConfigTotals(const BackupConfig *config, double *totalBytes, int *totalFiles);

// Size and file-count texts of the configuration, each followed by "..." while a source is
// still being measured. Returns 1 when every source has been measured.
int FormatConfigTotals(const BackupConfig *config, char *sizeText, size_t sizeTextSize,
                       char *countText, size_t countTextSize);
