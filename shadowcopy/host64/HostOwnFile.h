// The files the host writes itself: its log and its reply. The host runs elevated in a folder
// the user can write, so it never writes through a name that is already there: a hard link to
// another file, or a link of any kind, left at that name would carry the write along.
#pragma once
#include <stdio.h>

// Removes whatever stands at path and creates the file anew for text writing. Null when
// something remains at that name or the file cannot be created.
FILE *CreateHostFile(const char *path);
