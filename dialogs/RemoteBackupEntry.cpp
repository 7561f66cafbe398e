// Until the remote-backup sheet is built, its button changes nothing.
#include "RemoteBackupEntry.h"

int EditRemoteBackupOptions(HWND)
{
    return 0;
}
