// The running Windows version, named for the job log's header.
#pragma once

bool IsWindowsVersionAtLeast(unsigned major, unsigned minor, unsigned servicePackMajor);
int GetWindowsVersionName(char *out260);
