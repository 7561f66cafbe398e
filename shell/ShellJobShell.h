// The engine's view of the program's window.
#pragma once

void InstallShellJobShell();
void RemoveShellJobShell();
