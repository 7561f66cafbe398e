// Date and time variables "[[NAME]]" in destination folders and ZIP names, replaced by parts
// of the local time of the expansion.
#pragma once
#include <windows.h>

struct BackupConfig;

enum DateVariableKind {
    DateVarHour, DateVarDayWeek, DateVarDayMonth, DateVarDayYear, DateVarWeekMonth,
    DateVarWeekYear, DateVarMonth, DateVarYear, DateVarDate, DateVarTime, DateVarDateTime,
    DateVarUnique, DateVarKindCount
};

const int kDateVariableTextSize = 260;

// Replaces every variable in text (a 260-byte buffer). Returns 0 when the result would not
// fit; the text is then unusable. The job passes its context's configuration.
int ExpandDateVariables(const BackupConfig *config, char *text);
// Writes the value of one kind (at most 63 characters) into a 64-byte buffer.
void FormatDateVariable(const BackupConfig *config, int kind, const SYSTEMTIME *time, char *out64);
