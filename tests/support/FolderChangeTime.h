// The change time of a file or folder, which moves whenever its attributes or times are
// written: tests tell by it whether a folder was stamped.
#pragma once
#include <windows.h>

#include <string>

// 0 when it cannot be read.
inline LONGLONG ChangeTimeOf(const std::wstring &path)
{
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return 0;
    FILE_BASIC_INFO basic = {};
    GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic));
    CloseHandle(handle);
    return basic.ChangeTime.QuadPart;
}
