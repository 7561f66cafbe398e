// The list file after "@": 8-bit text, one path a line relative to the current folder, lines
// ending with CR LF or LF. Blank lines are ignored.
#pragma once
#include <string>
#include <vector>

bool ReadListFile(const std::string &listPath, std::vector<std::string> *lines);

// The name a listed path takes inside the archive: '/' between folders, no drive, no leading
// separator, no "." steps, UTF-8. Fails when nothing is left or a ".." step would climb out.
bool MakeEntryName(const std::wstring &listedPath, std::string *entryName);
