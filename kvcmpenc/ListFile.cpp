#include "ListFile.h"

#include <stdio.h>

#include "PathText.h"

bool ReadListFile(const std::string &listPath, std::vector<std::string> *lines)
{
    lines->clear();
    FILE *file = fopen(listPath.c_str(), "rb");
    if (!file)
        return false;
    std::string line;
    char buffer[4096];
    size_t got;
    bool ok = true;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (size_t i = 0; i < got; i++) {
            char c = buffer[i];
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (!line.empty())
                    lines->push_back(line);
                line.clear();
            } else {
                line += c;
            }
        }
    }
    if (ferror(file))
        ok = false;
    fclose(file);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!line.empty())
        lines->push_back(line);
    return ok;
}

bool MakeEntryName(const std::wstring &listedPath, std::string *entryName)
{
    std::wstring path = listedPath;
    if (path.size() >= 2 && path[1] == L':')
        path.erase(0, 2);
    std::wstring name, step;
    for (size_t i = 0; i <= path.size(); i++) {
        wchar_t c = i < path.size() ? path[i] : L'\\';
        if (c != L'\\' && c != L'/') {
            step += c;
            continue;
        }
        if (step == L"..")
            return false;
        if (!step.empty() && step != L".") {
            if (!name.empty())
                name += L'/';
            name += step;
        }
        step.clear();
    }
    if (name.empty())
        return false;
    return ConvertWideToUtf8(name, entryName);
}
