// The options dump of the job log: the Windows version and every global and job option that
// governs the run. Written only with verbose logging; passwords never appear.
#pragma once
#include <stdio.h>

#include "BackupConfig.h"

void LogJobOptions(FILE *log, const BackupConfig *config);
