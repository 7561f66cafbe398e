#include "TestFiles.h"

#include <windows.h>
#include <stdio.h>

#include "VolumeWriter.h"

namespace {

void DeleteTree(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(path + "\\");
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

ScratchFolder::ScratchFolder(const char *tag)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    char unique[64];
    snprintf(unique, sizeof unique, "%s_%lu_%lu\\", tag, GetCurrentProcessId(), GetTickCount());
    path_ = std::string(temp) + unique;
    DeleteTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

ScratchFolder::~ScratchFolder()
{
    DeleteTree(path_);
}

bool WriteWholeFile(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

bool ReadWholeFile(const std::string &path, std::string *bytes)
{
    bytes->clear();
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->append(buffer, got);
    bool ok = !ferror(file);
    fclose(file);
    return ok;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string MakeNoise(size_t length, unsigned seed)
{
    std::string bytes(length, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char &c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = (char)(state >> 24);
    }
    return bytes;
}

std::string MakeText(size_t length, unsigned seed)
{
    static const char *const words[] = {"backup", "volume", "archive", "folder", "schedule", "mirror",
                                        "compress", "restore", "the", "of", "and", "to", "in", "report"};
    std::string text;
    unsigned state = seed * 2654435761u + 7;
    while (text.size() < length) {
        state = state * 1664525u + 1013904223u;
        text += words[(state >> 16) % (sizeof words / sizeof words[0])];
        text += (state >> 8) % 9 == 0 ? "\r\n" : " ";
    }
    text.resize(length);
    return text;
}

int CountFiles(const std::string &folder)
{
    int count = 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            count++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return count;
}

std::string JoinParts(const std::string &archive)
{
    std::string joined, part;
    for (int n = 1; ReadWholeFile(MakePartName(archive, n), &part); n++)
        joined += part;
    return joined;
}
