// A block of memory in another process (the program whose window a probe looks at): list-view,
// header, status-bar and toolbar messages that carry pointers are not marshalled between
// processes, so their blocks must live there. Freed at the end.
#pragma once
#include <windows.h>

class RemoteBlock {
public:
    RemoteBlock(HWND window, SIZE_T size) : size_(size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_ != nullptr)
            base_ = (char *)VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBlock()
    {
        if (base_ != nullptr)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        if (process_ != nullptr)
            CloseHandle(process_);
    }
    bool ok() const { return base_ != nullptr; }
    char *at(SIZE_T offset) const { return base_ + offset; }
    bool Write(SIZE_T offset, const void *data, SIZE_T length)
    {
        return WriteProcessMemory(process_, base_ + offset, data, length, nullptr) != 0;
    }
    bool Read(SIZE_T offset, void *data, SIZE_T length)
    {
        return ReadProcessMemory(process_, base_ + offset, data, length, nullptr) != 0;
    }

private:
    HANDLE process_ = nullptr;
    char *base_ = nullptr;
    SIZE_T size_;
};
