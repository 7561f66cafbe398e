#include "FtpUpload.h"

#include "GlobalSettings.h"
#include "MsvcrtFormat.h"

int IsFtpCopyAllowed(FILE *log, const BackupConfig *config)
{
    if (gSettings.remoteRequiresEncryption != 1 || (config->flags & Encrypted) != 0)
        return 1;
    WriteText(log, "WARNING (25e): Compressed ZIP file is not encrypted.  Skipped FTP backup.  Either turn on "
                   "encryption, or adjust option under 'File / Options...' to allow non-encyrpted remote backup.\n");
    return 0;
}
