// Backing up to the default CD/DVD recorder through the shell's CD-burning staging area: the
// disc check before the backup folder is made, and the burning after the ZIP and remote steps,
// once or one disc per ZIP volume. The dialogue with the user runs in message boxes on the
// job thread, owned by the main window.
#pragma once
#include <windows.h>
#include <stdio.h>

#include "JobContext.h"

// Chooses the run's destination and disc fields; 1 unless the disc machinery or the media
// query failed. May set the cancel byte (the user declined, or the disc cannot serve).
int PrepareDiscDestination(JobContext *context, FILE *log);
// Burns the staging area once. 1 when the shell burned it.
int BurnStagingArea(FILE *log);
// Moves each ZIP volume of the run into the staging area and burns it. 1 when every volume
// was burned, or there was none.
int BurnSpanningDiscs(JobContext *context, FILE *log);

// The bytes a disc with that many free blocks holds for the backup.
double UsableDiscBytes(ULONG freeBlocks);
