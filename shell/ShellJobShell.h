// The engine's and the dialogs' view of the program's window.
#pragma once

void InstallShellJobShell();
void RemoveShellJobShell();
void InstallShellDialogShell();
void RemoveShellDialogShell();
