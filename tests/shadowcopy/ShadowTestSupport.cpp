#include "ShadowTestSupport.h"

#include <shlobj.h>
#include <stdio.h>

std::string BinPath(const char *file)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("VELLORAN_BIN_DIR", dir, sizeof dir);
    return std::string(dir) + "\\" + file;
}

std::string DataFolder()
{
    char folder[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder);
    std::string path = std::string(folder) + "\\Velloran";
    CreateDirectoryA(path.c_str(), nullptr);
    return path + "\\";
}

namespace {

void RemoveTree(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path + "\\");
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

std::string MakeTempFolder(const char *name)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + name + "\\";
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool WriteWholeFile(const std::string &path, const std::string &content)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool written = fwrite(content.data(), 1, content.size(), file) == content.size();
    return fclose(file) == 0 && written;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

char FindFreeLetter()
{
    for (char c = 'E'; c <= 'Z'; c++) {
        char device[3] = {c, ':', '\0'};
        char target[512];
        if (QueryDosDeviceA(device, target, sizeof target) == 0)
            return c;
    }
    return 0;
}

bool CanListRoot(char letter, const char *expectedEntry)
{
    std::string path = std::string(1, letter) + ":\\" + expectedEntry;
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int RunProgram(const std::string &path, DWORD timeoutMs)
{
    std::string cmd = "\"" + path + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    int result = -2;
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        result = (int)code;
    } else {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}
