#include "HostOwnFile.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

FILE *CreateHostFile(const char *path)
{
    // Deleting a link removes the link, never what it leads to; CREATE_NEW then refuses
    // anything put back at the name in the meantime.
    DeleteFileA(path);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    int descriptor = _open_osfhandle((intptr_t)file, _O_WRONLY | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return nullptr;
    }
    FILE *stream = _fdopen(descriptor, "w");
    if (stream == nullptr)
        _close(descriptor);
    return stream;
}
