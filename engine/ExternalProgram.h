// The programs run before and after a backup.
#pragma once
#include <stdint.h>
#include <stdio.h>

// Runs the command line and waits for it, writing its start and exit code to the log. A set
// cancel byte ends the wait (the program is left running). Never changes the job's result.
void RunExternalProgram(const char *commandLine, const volatile uint8_t *cancel, FILE *log);
