// What disc burning asks of the platform: the shell's CD-burning object and its staging folder,
// the disc master with its recorders (IMAPI version 1), and device I/O on the drive. The real
// platform talks to Windows; tests install a double (Wine has neither burning class, and its
// folder-backed drives answer no SCSI commands).
#pragma once
#include <windows.h>

#include <memory>

// The shell's CD-burning object. Destroying it releases it.
class CdBurner {
public:
    virtual ~CdBurner() {}
    virtual HRESULT HasRecordableDrive(BOOL *has) = 0;
    // letter receives the recorder's root ("E:\") in a buffer of `chars` wide characters.
    virtual HRESULT GetRecorderDriveLetter(wchar_t *letter, UINT chars) = 0;
    // Burns the staging area, the shell's windows owned by owner.
    virtual HRESULT Burn(HWND owner) = 0;
};

// The display names of a recorder, as ANSI text.
struct RecorderNames {
    char vendor[64];
    char product[64];
    char revision[64];
};

// One recorder of the disc master. Destroying it releases it.
class DiscRecorder {
public:
    virtual ~DiscRecorder() {}
    virtual HRESULT GetDisplayNames(RecorderNames *names) = 0;
    virtual HRESULT OpenExclusive() = 0;
    virtual HRESULT QueryMediaType(long *type, long *flags) = 0;
    virtual HRESULT QueryMediaInfo(BYTE *sessions, BYTE *lastTrack, ULONG *startAddress, ULONG *nextWritable,
                                   ULONG *freeBlocks) = 0;
    virtual HRESULT Eject() = 0;
    virtual HRESULT Close() = 0;
};

// The disc master and its recorder enumeration. Destroying it releases it.
class DiscMaster {
public:
    virtual ~DiscMaster() {}
    virtual HRESULT Open() = 0;
    virtual HRESULT EnumDiscRecorders() = 0;
    // The next recorder of the enumeration: S_OK with one, S_FALSE at the end.
    virtual HRESULT NextRecorder(std::unique_ptr<DiscRecorder> *recorder) = 0;
    virtual HRESULT Close() = 0;
};

class DiscPlatform {
public:
    virtual ~DiscPlatform() {}
    virtual HRESULT CreateCdBurner(std::unique_ptr<CdBurner> *burner) = 0;
    virtual HRESULT CreateDiscMaster(std::unique_ptr<DiscMaster> *master) = 0;
    // The shell's staging folder, not created; "" when there is none.
    virtual void GetStagingFolder(char *out, size_t outSize) = 0;
    // The drive's device "\\.\X:" for reading and writing; INVALID_HANDLE_VALUE and the last
    // error when it cannot be opened.
    virtual HANDLE OpenDrive(char letter) = 0;
    virtual BOOL ControlDrive(HANDLE drive, DWORD code, void *buffer, DWORD inSize, DWORD outSize,
                              DWORD *returned) = 0;
    virtual void CloseDrive(HANDLE drive) = 0;
};

// Installs a platform in place of the real one; NULL restores the real one. Returns the previous.
DiscPlatform *SetDiscPlatform(DiscPlatform *platform);
DiscPlatform &CurrentDiscPlatform();
DiscPlatform &RealDiscPlatform();
