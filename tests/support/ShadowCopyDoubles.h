// The shadow-copy road with the test doubles of the shadow-copy libraries: one folder per test
// program holding copies of the shipped bridge and host with the doubles beside them under
// the shipped names, as the program's folder holds the real libraries. The doubles come from
// their own build folder (VELLORAN_TEST_DOUBLES_DIR), never from the shipped binaries.
#pragma once
#include <windows.h>

#include <string>

// A file in the folder of the test doubles.
inline std::string TestDoublePath(const char *file)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("VELLORAN_TEST_DOUBLES_DIR", dir, sizeof dir);
    return std::string(dir) + "\\" + file;
}

// The folder (with its trailing backslash) that holds kv64dll.dll and kv64wrap.exe as shipped,
// kv_vss.dll and kv_vss64.dll as doubles, and the tests' build of the host with one-second
// waits (kv64wrap_short_waits.exe). Made on the first call; "" when a file cannot be copied.
inline const std::string &ShadowDoubleFolder()
{
    static const std::string folder = [] {
        char bin[MAX_PATH] = "";
        GetEnvironmentVariableA("VELLORAN_BIN_DIR", bin, sizeof bin);
        char temp[MAX_PATH] = "";
        GetTempPathA(sizeof temp, temp);
        std::string made = std::string(temp) + "shadow-copy-doubles\\";
        CreateDirectoryA(made.c_str(), nullptr);
        const struct {
            std::string from;
            const char *name;
        } files[] = {
            {std::string(bin) + "\\kv64dll.dll", "kv64dll.dll"},
            {std::string(bin) + "\\kv64wrap.exe", "kv64wrap.exe"},
            {TestDoublePath("kv_vss.dll"), "kv_vss.dll"},
            {TestDoublePath("kv_vss64.dll"), "kv_vss64.dll"},
            {TestDoublePath("kv64wrap_short_waits.exe"), "kv64wrap_short_waits.exe"},
        };
        for (const auto &file : files) {
            if (!CopyFileA(file.from.c_str(), (made + file.name).c_str(), FALSE))
                return std::string();
        }
        return made;
    }();
    return folder;
}
