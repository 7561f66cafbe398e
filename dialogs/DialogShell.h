// What the dialogs ask of the program's window once a change is saved: the job list, the tray
// icon and, after a new button size, the toolbar. The program installs its own shell; without
// one every call does nothing. Called on the window thread only.
#pragma once

struct DialogShell {
    virtual ~DialogShell() = default;
    // Fills the job list again and selects the configuration at index (-1 keeps the selection).
    virtual void RebuildJobList(int /*index*/) {}
    virtual void UpdateTrayIcon() {}
    // Builds the toolbar again in the buttons' new size and lays out the main window anew.
    virtual void RebuildToolbar() {}
};

// NULL puts the default shell back.
void SetDialogShell(DialogShell *shell);
DialogShell &CurrentDialogShell();
