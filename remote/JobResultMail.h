// The e-mail that reports a job's result with a copy of its log, under the global job-result
// e-mail options.
#pragma once
#include <stdio.h>

#include "BackupConfig.h"

int IsResultMailDue(const BackupConfig *config);
// 1 when the e-mail was sent. The job's result stays as it is either way.
int SendJobResultMail(FILE *log, BackupConfig *config);
