#include "DiscDouble.h"

#include <winioctl.h>
#include <ntddscsi.h>
#include <string.h>

#include <functional>

#include "JobTestSupport.h"
#include "MessageBoxSeam.h"

namespace {

HANDLE const kDriveHandle = reinterpret_cast<HANDLE>(0x5150);

// Calls visit with the name and attributes of every entry of folder (which ends in "\").
void ForEachEntry(const std::wstring &folder, const std::function<void(const std::wstring &, DWORD)> &visit)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            visit(name, entry.dwFileAttributes);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

// Every file below base + relative, by its path relative to base.
void ReadTree(const std::wstring &base, const std::wstring &relative, BurnedDisc *disc)
{
    ForEachEntry(base + relative, [&](const std::wstring &name, DWORD attributes) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            ReadTree(base, relative + name + L"\\", disc);
        else
            (*disc)[Narrow(relative + name)] = ReadTextFile(base + relative + name);
    });
}

// Empties the folder but keeps it (it is the job's current folder).
void ClearFolder(const std::wstring &folder)
{
    ForEachEntry(folder, [&](const std::wstring &name, DWORD attributes) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTreeW(folder + name);
        else
            DeleteFileW((folder + name).c_str());
    });
}

// Counts an object of the double while it lives and records its release.
class LiveObject {
public:
    LiveObject(DiscDouble &disc, const char *kind) : disc(disc), kind(kind) { ++disc.liveObjects; }
    ~LiveObject()
    {
        disc.calls.push_back(std::string("Release ") + kind);
        --disc.liveObjects;
    }

private:
    DiscDouble &disc;
    const char *kind;
};

class DoubleBurner : public CdBurner {
public:
    explicit DoubleBurner(DiscDouble &disc) : disc(disc), live(disc, "burner") {}
    HRESULT HasRecordableDrive(BOOL *has) override
    {
        disc.calls.push_back("HasRecordableDrive");
        *has = disc.recordableDrive;
        return disc.hasRecordable;
    }
    HRESULT GetRecorderDriveLetter(wchar_t *letter, UINT chars) override
    {
        disc.calls.push_back("GetRecorderDriveLetter");
        if (chars != 32)
            return E_INVALIDARG;
        lstrcpynW(letter, disc.recorderRoot.c_str(), (int)chars);
        return disc.recorderLetter;
    }
    HRESULT Burn(HWND owner) override { return disc.Burn(owner); }

private:
    DiscDouble &disc;
    LiveObject live;
};

class DoubleRecorder : public DiscRecorder {
public:
    DoubleRecorder(DiscDouble &disc, const RecorderNames &names) : disc(disc), names(names), live(disc, "recorder") {}
    HRESULT GetDisplayNames(RecorderNames *out) override
    {
        disc.calls.push_back("GetDisplayNames");
        *out = names;
        return disc.displayNames;
    }
    HRESULT OpenExclusive() override { return disc.Record("OpenExclusive", disc.openExclusive); }
    HRESULT QueryMediaType(long *type, long *flags) override
    {
        disc.calls.push_back("QueryMediaType");
        ScriptedMedia media = disc.media.empty() ? ScriptedMedia() : disc.media.front();
        *type = media.type;
        *flags = media.flags;
        return FAILED(media.info) ? media.info : S_OK;
    }
    HRESULT QueryMediaInfo(BYTE *sessions, BYTE *lastTrack, ULONG *startAddress, ULONG *nextWritable,
                           ULONG *freeBlocks) override
    {
        disc.calls.push_back("QueryMediaInfo");
        ScriptedMedia media = disc.CurrentMedia();
        *sessions = media.sessions;
        *lastTrack = media.sessions;
        *startAddress = 0;
        *nextWritable = 0;
        *freeBlocks = media.freeBlocks;
        return media.info;
    }
    HRESULT Eject() override { return disc.Record("Eject", S_OK); }
    HRESULT Close() override { return disc.Record("Close recorder", S_OK); }

private:
    DiscDouble &disc;
    RecorderNames names;
    LiveObject live;
};

class DoubleMaster : public DiscMaster {
public:
    explicit DoubleMaster(DiscDouble &disc) : disc(disc), live(disc, "master") {}
    HRESULT Open() override { return disc.Record("Open master", disc.openMaster); }
    HRESULT EnumDiscRecorders() override
    {
        disc.calls.push_back("EnumDiscRecorders");
        next = 0;
        return disc.enumRecorders;
    }
    HRESULT NextRecorder(std::unique_ptr<DiscRecorder> *recorder) override
    {
        recorder->reset();
        if (next >= disc.recorders.size())
            return S_FALSE;
        recorder->reset(new DoubleRecorder(disc, disc.recorders[next++]));
        return S_OK;
    }
    HRESULT Close() override { return disc.Record("Close master", S_OK); }

private:
    DiscDouble &disc;
    LiveObject live;
    size_t next = 0;
};

ScriptedBoxes *currentBoxes = nullptr;

int AnswerBox(HWND, const char *text, const char *caption, UINT type)
{
    currentBoxes->texts.push_back(text);
    currentBoxes->types.push_back(type);
    if (strcmp(caption, kProductName) != 0)
        currentBoxes->texts.back() += " [caption: " + std::string(caption) + "]";
    if (currentBoxes->answers.empty())
        return IDCANCEL;
    int answer = currentBoxes->answers.front();
    currentBoxes->answers.pop_front();
    return answer;
}

}  // namespace

RecorderNames MakeRecorderNames(const char *vendor, const char *product, const char *revision)
{
    RecorderNames names = {};
    lstrcpynA(names.vendor, vendor, sizeof(names.vendor));
    lstrcpynA(names.product, product, sizeof(names.product));
    lstrcpynA(names.revision, revision, sizeof(names.revision));
    return names;
}

DiscDouble::DiscDouble()
{
    recorders.push_back(MakeRecorderNames("vlrdisc", "DVD-RW Writer", "1.0"));
    previous = SetDiscPlatform(this);
}

DiscDouble::~DiscDouble()
{
    SetDiscPlatform(previous);
}

HRESULT DiscDouble::Record(const char *call, HRESULT result)
{
    calls.push_back(call);
    return result;
}

int DiscDouble::CountCalls(const std::string &call) const
{
    int count = 0;
    for (const std::string &made : calls)
        count += made == call;
    return count;
}

// A created object, or the scripted failure.
template <class Made, class Base>
HRESULT CreateObject(DiscDouble &disc, const char *call, HRESULT failure, std::unique_ptr<Base> *out)
{
    disc.calls.push_back(call);
    out->reset();
    if (FAILED(failure))
        return failure;
    out->reset(new Made(disc));
    return S_OK;
}

HRESULT DiscDouble::CreateCdBurner(std::unique_ptr<CdBurner> *burner)
{
    return CreateObject<DoubleBurner>(*this, "CreateCdBurner", createBurner, burner);
}

HRESULT DiscDouble::CreateDiscMaster(std::unique_ptr<DiscMaster> *master)
{
    return CreateObject<DoubleMaster>(*this, "CreateDiscMaster", createMaster, master);
}

void DiscDouble::GetStagingFolder(char *out, size_t outSize)
{
    calls.push_back("GetStagingFolder");
    // The shell gives the folder without its trailing backslash.
    std::string folder = stagingFolder;
    if (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    lstrcpynA(out, folder.c_str(), (int)outSize);
}

HANDLE DiscDouble::OpenDrive(char letter)
{
    calls.push_back(std::string("OpenDrive ") + letter);
    if (openDriveError != 0) {
        SetLastError(openDriveError);
        return INVALID_HANDLE_VALUE;
    }
    ++liveObjects;
    return kDriveHandle;
}

BOOL DiscDouble::ControlDrive(HANDLE drive, DWORD code, void *buffer, DWORD inSize, DWORD outSize, DWORD *returned)
{
    calls.push_back("ControlDrive");
    uint8_t *block = static_cast<uint8_t *>(buffer);
    const SCSI_PASS_THROUGH *request = static_cast<const SCSI_PASS_THROUGH *>(buffer);
    bool restCleared = true;
    for (DWORD i = inSize; i < 592; ++i)
        restCleared = restCleared && block[i] == 0;
#ifdef _WIN64
    const DWORD requestSize = 56, senseOffset = 56;
#else
    const DWORD requestSize = 44, senseOffset = 48;
#endif
    inquiryLayoutRight = drive == kDriveHandle && code == IOCTL_SCSI_PASS_THROUGH && inSize == requestSize &&
                         outSize == 272 && request->Length == requestSize && request->ScsiStatus == 0 && request->PathId == 0 &&
                         request->TargetId == 1 && request->Lun == 0 && request->CdbLength == 6 &&
                         request->SenseInfoLength == 24 && request->DataIn == 1 &&
                         request->DataTransferLength == 192 && request->TimeOutValue == 2 &&
                         request->DataBufferOffset == 80 && request->SenseInfoOffset == senseOffset &&
                         request->Cdb[0] == 0x12 && request->Cdb[1] == 0 && request->Cdb[4] == 192 &&
                         request->Cdb[5] == 0 && restCleared;
    if (controlError != 0) {
        SetLastError(controlError);
        return FALSE;
    }
    uint8_t *data = block + 80;
    memset(data, ' ', 36);
    memcpy(data + 8, inquiryVendor.data(), inquiryVendor.size() < 8 ? inquiryVendor.size() : 8);
    memcpy(data + 16, inquiryProduct.data(), inquiryProduct.size() < 16 ? inquiryProduct.size() : 16);
    memcpy(data + 32, inquiryRevision.data(), inquiryRevision.size() < 4 ? inquiryRevision.size() : 4);
    *returned = 80 + 36;
    return TRUE;
}

void DiscDouble::CloseDrive(HANDLE drive)
{
    calls.push_back(drive == kDriveHandle ? "CloseDrive" : "CloseDrive (unknown handle)");
    --liveObjects;
    SetLastError(0);  // a close that clears the error must not hide the request's error
}

HRESULT DiscDouble::Burn(HWND owner)
{
    calls.push_back("Burn");
    burnOwners.push_back(owner);
    if (duringBurn != nullptr)
        duringBurn();
    if (burnFailsAt == (int)discs.size() + 1) {
        discs.push_back(BurnedDisc());
        return burnFailure;
    }
    BurnedDisc disc;
    ReadTree(Widen(stagingFolder), L"", &disc);
    discs.push_back(disc);
    ClearFolder(Widen(stagingFolder));
    return S_OK;
}

ScriptedMedia DiscDouble::CurrentMedia()
{
    if (media.empty())
        return ScriptedMedia();
    ScriptedMedia current = media.front();
    if (media.size() > 1)
        media.pop_front();
    return current;
}

ScriptedBoxes::ScriptedBoxes(std::vector<int> script) : answers(script.begin(), script.end())
{
    currentBoxes = this;
    SetMessageBoxHandler(AnswerBox);
}

ScriptedBoxes::~ScriptedBoxes()
{
    SetMessageBoxHandler(nullptr);
    currentBoxes = nullptr;
}
