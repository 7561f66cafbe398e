// The command line RunDLLCommand accepts: the 7-Zip archiver's "a" command with exactly the
// switches the ZIP step uses, for example
//   fake.exe a -tzip -scsUTF-8 -ssw -v650m -p"secret" -mem=AES256 "D:\out.zip" @"C:\list.txt"
// "-scsUTF-8" says the list file is UTF-8, "-scsWIN" that it is in the ANSI code page.
#pragma once
#include <stdint.h>
#include <string>
#include <vector>

#include "SecretText.h"

struct ArchiveCommand {
    std::string archivePath;   // 8-bit text, as given
    std::string listPath;      // the list file after "@"
    bool utf8List = false;     // the list's text: UTF-8, or else the ANSI code page
    uint64_t volumeSize = 0;   // bytes per part; 0 writes one file without volumes
    bool encrypted = false;
    SecretText password;       // 8-bit text; only meaningful when encrypted
};

// Splits a command line into words at blanks outside double quotes and removes the quotes, so
// -p"a b" gives the word -pa b. Fails on an unterminated quote.
bool SplitCommandWords(const char *commandLine, std::vector<std::string> *words);

// Parses "-v{n}[b|k|m|g]" (the unit defaults to bytes) into a size in bytes. Fails on a missing
// or zero count, an unknown unit, trailing text or a size beyond 64 bits.
bool ParseVolumeSwitch(const std::string &word, uint64_t *bytes);

// Fills command from the whole command line; fails on anything but the accepted form.
bool ParseArchiveCommand(const char *commandLine, ArchiveCommand *command);
