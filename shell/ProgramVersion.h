// The program's version as its own version resource gives it.
#pragma once
#include <windows.h>

// Major and minor from the most significant double word of the file version, third from the
// high word of the least significant one; all 0 when the resource cannot be read.
void GetProgramVersion(int *major, int *minor, int *third);
// The same for any module file; returns 1 when its version resource was read.
int ReadFileVersion(const char *path, int *major, int *minor, int *third);
