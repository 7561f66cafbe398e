// The common dialogs that pick backup sources, excluded items and programs. The file chooser
// remembers its folder in the registry (dirloc "lastfileadd"), the program chooser in the
// settings held in memory (dirloc "program").
#pragma once
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

const DWORD kSourceFileBufferSize = 32768;

// files: the caller's cleared buffer of kSourceFileBufferSize characters; *firstName gets the
// offset of the first file name (also on cancel). Non-zero when files were chosen.
int ChooseSourceFiles(HWND owner, char *files, const char *title, int *firstName);
// path: 260 characters, the chosen program's full path. Non-zero when one was chosen.
int ChooseProgramFile(HWND owner, char *path);
// One existing file into `path` (260 characters), starting in `folder` (260 characters), which
// then becomes the chosen file's folder with its trailing '\'. Non-zero when a file was chosen.
int ChooseFileInFolder(HWND owner, char *path, const char *filter, const char *title, char *folder);
// path: 1024 characters, the chosen folder with a trailing '\'. 1 when a non-empty path was
// obtained.
int ChooseFolder(HWND owner, char *path, const char *title);

// The system dialogs behind the choosers; tests put doubles in their place.
struct CommonDialogApi {
    BOOL(WINAPI *getOpenFileName)(OPENFILENAMEA *request);
    PIDLIST_ABSOLUTE(WINAPI *browseForFolder)(BROWSEINFOA *request);
    BOOL(WINAPI *getPathFromIdList)(PCIDLIST_ABSOLUTE items, char *path);
};
// NULL puts the system's dialogs back.
void SetCommonDialogApiForTesting(const CommonDialogApi *api);
