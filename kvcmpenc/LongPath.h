// Wide paths for the file API, with the \\?\ prefix when a full path is too long for it.
#pragma once
#include <string>

// The 8-bit text of the list file and command line is in the ANSI code page (-scsWIN).
bool ConvertAnsiToWide(const std::string &text, std::wstring *wide);
bool ConvertWideToUtf8(const std::wstring &wide, std::string *utf8);

// Makes path absolute against the current folder and adds \\?\ (or \\?\UNC\) when the result
// reaches MAX_PATH characters.
bool MakeLongPath(const std::wstring &path, std::wstring *longPath);
