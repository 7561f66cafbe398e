// The job list view of the main window. A plain report view for now: description and a few
// columns, so the window runs; the full list comes with its own work.
#pragma once
#include <windows.h>

HWND CreateJobList(HWND parent);
int CreateJobListImageList();
int SetUpJobListColumns();
void DestroyJobListImageLists();
// -1 rebuilds every row; returns 0 on failure.
int RebuildJobList(int index);
void SetJobCell(int index, int column, const char *text);
void RefreshJobListCell(int index, int column);
int GetSelectedJobIndex();
void UpdateCommandStates();
// Total width of the shown columns, for the first placement of the window.
int GetJobListTotalWidth();

const int kColumnSize = 1;
const int kColumnFileCount = 18;
