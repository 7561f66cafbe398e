// Wide paths for the file API, with the \\?\ prefix when a full path is too long for it.
#pragma once
#include <string>

// The 8-bit text of the command line is in the ANSI code page, and so is a list file under
// -scsWIN; under -scsUTF-8 the list is UTF-8, and a line that is no valid UTF-8 fails.
bool ConvertAnsiToWide(const std::string &text, std::wstring *wide);
bool ConvertUtf8ToWide(const std::string &text, std::wstring *wide);
// For the log, which is ANSI text: a character the code page lacks becomes '?'.
std::string ConvertWideToAnsi(const std::wstring &wide);
bool ConvertWideToUtf8(const std::wstring &wide, std::string *utf8);

// Makes path absolute against the current folder and adds \\?\ (or \\?\UNC\) when the result
// reaches MAX_PATH characters.
bool MakeLongPath(const std::wstring &path, std::wstring *longPath);
