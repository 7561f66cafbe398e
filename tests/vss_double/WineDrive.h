// Drive letters under Wine. Wine's file system does not follow DOS device definitions, so
// there the test double defines its letter the way Wine's own configuration tool does: the
// mount manager's Unix-drive request, which points the letter at the source's Unix folder.
#pragma once

// True when this process runs under Wine.
bool IsRunningUnderWine();

// Makes target a fixed drive showing what source shows; false when Wine refuses.
bool DefineWineDrive(wchar_t target, wchar_t source);

// Makes target a fixed drive showing the Windows folder given; false when Wine refuses.
bool DefineWineDriveAt(wchar_t target, const wchar_t *folder);

// Removes the drive letter again.
bool RemoveWineDrive(wchar_t target);
