// The job step that e-mails every file of the compressed backup.
#pragma once
#include <stdio.h>

#include "JobContext.h"

// 1 when every file was sent or nothing had to be sent; 0 on a failure or a stop.
int SendVolumesByMail(FILE *log, JobContext *context);
