// The real disc platform: the shell's ICDBurn, IMAPI version 1's disc master and device I/O.
#include <initguid.h>

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <string.h>

#include "DiscPlatform.h"
#include "ImapiInterfaces.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"

namespace {

DEFINE_GUID(kClsidCdBurn, 0xFBEB8A05, 0xBEEE, 0x4442, 0x80, 0x4E, 0x40, 0x9D, 0x6C, 0x45, 0x15, 0xE9);
DEFINE_GUID(kIidCdBurn, 0x3D73A659, 0xE5D0, 0x4D42, 0xAF, 0xC0, 0x51, 0x21, 0xBA, 0x42, 0x5C, 0x8D);

void CopyName(BSTR text, char *out, size_t outSize)
{
    out[0] = '\0';
    if (text != nullptr)
        WideToAnsiBuffer(out, outSize, text);
    SysFreeString(text);
}

class ComCdBurner : public CdBurner {
public:
    explicit ComCdBurner(ICDBurn *burner) : burner(burner) {}
    ~ComCdBurner() override { burner->Release(); }
    HRESULT HasRecordableDrive(BOOL *has) override { return burner->HasRecordableDrive(has); }
    HRESULT GetRecorderDriveLetter(wchar_t *letter, UINT chars) override
    {
        return burner->GetRecorderDriveLetter(letter, chars);
    }
    HRESULT Burn(HWND owner) override { return burner->Burn(owner); }

private:
    ICDBurn *burner;
};

class ComDiscRecorder : public DiscRecorder {
public:
    explicit ComDiscRecorder(ImapiDiscRecorder *recorder) : recorder(recorder) {}
    ~ComDiscRecorder() override { recorder->Release(); }
    HRESULT GetDisplayNames(RecorderNames *names) override
    {
        BSTR vendor = nullptr;
        BSTR product = nullptr;
        BSTR revision = nullptr;
        HRESULT result = recorder->GetDisplayNames(&vendor, &product, &revision);
        CopyName(vendor, names->vendor, sizeof(names->vendor));
        CopyName(product, names->product, sizeof(names->product));
        CopyName(revision, names->revision, sizeof(names->revision));
        return result;
    }
    HRESULT OpenExclusive() override { return recorder->OpenExclusive(); }
    HRESULT QueryMediaType(long *type, long *flags) override { return recorder->QueryMediaType(type, flags); }
    HRESULT QueryMediaInfo(BYTE *sessions, BYTE *lastTrack, ULONG *startAddress, ULONG *nextWritable,
                           ULONG *freeBlocks) override
    {
        return recorder->QueryMediaInfo(sessions, lastTrack, startAddress, nextWritable, freeBlocks);
    }
    HRESULT Eject() override { return recorder->Eject(); }
    HRESULT Close() override { return recorder->Close(); }

private:
    ImapiDiscRecorder *recorder;
};

class ComDiscMaster : public DiscMaster {
public:
    explicit ComDiscMaster(ImapiDiscMaster *master) : master(master), recorders(nullptr) {}
    ~ComDiscMaster() override
    {
        if (recorders != nullptr)
            recorders->Release();
        master->Release();
    }
    HRESULT Open() override { return master->Open(); }
    HRESULT EnumDiscRecorders() override
    {
        if (recorders != nullptr) {
            recorders->Release();
            recorders = nullptr;
        }
        return master->EnumDiscRecorders(&recorders);
    }
    HRESULT NextRecorder(std::unique_ptr<DiscRecorder> *recorder) override
    {
        recorder->reset();
        if (recorders == nullptr)
            return E_POINTER;
        ImapiDiscRecorder *next = nullptr;
        ULONG fetched = 0;
        HRESULT result = recorders->Next(1, &next, &fetched);
        if (result != S_OK || fetched != 1 || next == nullptr) {
            if (next != nullptr)
                next->Release();
            return FAILED(result) ? result : S_FALSE;
        }
        recorder->reset(new ComDiscRecorder(next));
        return S_OK;
    }
    HRESULT Close() override { return master->Close(); }

private:
    ImapiDiscMaster *master;
    ImapiEnumDiscRecorders *recorders;
};

class ComDiscPlatform : public DiscPlatform {
public:
    HRESULT CreateCdBurner(std::unique_ptr<CdBurner> *burner) override
    {
        burner->reset();
        ICDBurn *created = nullptr;
        HRESULT result = CoCreateInstance(kClsidCdBurn, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                          kIidCdBurn, reinterpret_cast<void **>(&created));
        if (SUCCEEDED(result) && created != nullptr)
            burner->reset(new ComCdBurner(created));
        else if (SUCCEEDED(result))
            result = E_NOINTERFACE;
        return result;
    }
    HRESULT CreateDiscMaster(std::unique_ptr<DiscMaster> *master) override
    {
        master->reset();
        ImapiDiscMaster *created = nullptr;
        HRESULT result = CoCreateInstance(kClsidMsDiscMasterObj, nullptr, CLSCTX_ALL, kIidDiscMaster,
                                          reinterpret_cast<void **>(&created));
        if (SUCCEEDED(result) && created != nullptr)
            master->reset(new ComDiscMaster(created));
        else if (SUCCEEDED(result))
            result = E_NOINTERFACE;
        return result;
    }
    void GetStagingFolder(char *out, size_t outSize) override
    {
        char folder[MAX_PATH] = "";
        out[0] = '\0';
        if (SHGetFolderPathA(nullptr, CSIDL_CDBURN_AREA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK &&
            strlen(folder) < outSize)
            strcpy(out, folder);
    }
    HANDLE OpenDrive(char letter) override
    {
        char device[8];
        FormatText(device, sizeof(device), "\\\\.\\%c:", letter);
        return CreateFileA(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }
    BOOL ControlDrive(HANDLE drive, DWORD code, void *buffer, DWORD inSize, DWORD outSize, DWORD *returned) override
    {
        return DeviceIoControl(drive, code, buffer, inSize, buffer, outSize, returned, nullptr);
    }
    void CloseDrive(HANDLE drive) override { CloseHandle(drive); }
};

}  // namespace

DiscPlatform &RealDiscPlatform()
{
    static ComDiscPlatform platform;
    return platform;
}
