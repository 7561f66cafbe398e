// Text of the command line and the list file turned into wide paths for the file API, which
// reach the very file a name stands for.
#pragma once
#include <string>

// The 8-bit text of the command line is in the ANSI code page, and so is a list file under
// -scsWIN; under -scsUTF-8 the list is UTF-8, and a line that is no valid UTF-8 fails.
bool ConvertAnsiToWide(const std::string &text, std::wstring *wide);
bool ConvertUtf8ToWide(const std::string &text, std::wstring *wide);
// For the log, which is ANSI text: a character the code page lacks becomes '?'.
std::string ConvertWideToAnsi(const std::wstring &wide);
bool ConvertWideToUtf8(const std::wstring &wide, std::string *utf8);

// Makes path absolute against the current folder, by joining the two as they stand so that every
// name keeps its own form, and passes it the way the program's copies pass their paths: with the
// \\?\ (or \\?\UNC\) prefix when it has MAX_PATH characters or more, or holds a name the system's
// path parsing would misread (a trailing dot or space, a device name such as "aux.txt").
bool MakeFilePath(const std::wstring &path, std::wstring *filePath);
