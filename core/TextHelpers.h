// In-place edits of NUL-terminated ANSI text. The in-place helpers never know their buffer's
// size: every caller sizes its buffer for the result.
#pragma once
#include <stddef.h>
#include <wchar.h>

void PrependChar(char *text, char c);
void DeleteFirstChar(char *position);
void PrependString(char *text, const char *prefix);
void ReplaceAll(char *text, const char *search, const char *replacement);
void TrimLeadingWhitespace(char *text);
void TrimTrailingWhitespace(char *text);
char *FindNoCase(const char *text, const char *search);
wchar_t *FindNoCaseW(const wchar_t *text, const wchar_t *search);
// True when `item` is a purely textual, case-insensitive beginning of `path` (so C:\Data is a
// beginning of C:\Database\); an empty item is never one.
bool IsPathPrefixOf(const char *item, const char *path);
int IsValidFileName(const char *name);
void SanitizeFileName(char *out, size_t outSize, const char *name);
void SanitizeFileNameW(wchar_t *out, size_t outChars, const wchar_t *name);
// Whether a configuration's description names a backup folder of its own: its name (the
// description through SanitizeFileName) is not "." or "..", and does not end in a dot or a
// space, which Windows strips or reads as another folder. An empty name is usable: the backup
// folder is then the destination itself.
bool IsOwnFolderName(const char *description);

// Stored passwords are XORed byte-wise with this key; the same call unscrambles.
const unsigned char kPasswordKey = 0xA7;
int ScramblePassword(char *text);
// 1 when scrambling keeps the whole password: a byte equal to the key would become the
// scrambled text's end, so the stored password would lose the rest.
int CanScramblePassword(const char *text);

// A copy of text (bounded by outSize) that fits on one log line: a carriage return, line feed
// or other control character (tab excepted) is written as "<CR>", "<LF>" or "<0xNN>", so a
// value taken from a configuration cannot split a line of the log or forge lines of its own.
void FormatOneLine(char *out, size_t outSize, const char *text);
// 1 when the text holds a carriage return or a line feed.
int HoldsLineBreak(const char *text);
