#include "DialogShell.h"

static DialogShell defaultShell;
static DialogShell *installedShell = &defaultShell;

void SetDialogShell(DialogShell *shell)
{
    installedShell = shell != nullptr ? shell : &defaultShell;
}

DialogShell &CurrentDialogShell()
{
    return *installedShell;
}
