// The remote folder, server name and restart reply of the FTP uploads, as the configuration
// holds them turned into what the transfer uses. No network here, so the rules can be tested.
#pragma once
#include <stdint.h>

// Plain FTP: a copy of directory (into 260 characters) that ends in one separator, '\' when
// the folder holds a '\', else '/'; an empty folder stays empty. 0 when it is 259 or longer.
int NormalizeFtpFolder(const char *directory, char *out260);
// SFTP and FTPS: one leading '/' removed, then '/' appended to a folder that is not empty and
// does not end in '/'; backslashes stay. 0 when it is 259 or longer.
int NormalizeSecureFtpFolder(const char *directory, char *out260);
// The text after the first "//" (or all of it) into 128 characters, one trailing '/' cut.
// Returns 0 when that text was empty before the cut.
int NormalizeFtpServer(const char *server, char *out128);
// The position named in a reply to REST: the first run that starts at a digit or '-' after
// "350", read as a signed decimal. 0 without "350" or without a digit there.
int ParseRestartReply(const char *reply, int64_t *position);
