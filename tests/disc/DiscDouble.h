// A disc platform for the tests: a recorder and its media as scripted, every call recorded,
// each step able to fail, and each burn kept as the tree the staging folder held at that moment
// (which the shell then clears, as it does after writing a disc).
#pragma once
#include <windows.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "DiscPlatform.h"

// One state of the drive's medium, as the media query reports it.
struct ScriptedMedia {
    HRESULT info = S_OK;
    BYTE sessions = 0;
    ULONG freeBlocks = 1000000;
    long type = 1;
    long flags = 0x5;
};

// Relative path in the staging folder -> file content.
typedef std::map<std::string, std::string> BurnedDisc;

class DiscDouble : public DiscPlatform {
public:
    DiscDouble();
    ~DiscDouble() override;

    // Steps that fail: the HRESULT each returns (S_OK: it works).
    HRESULT createBurner = S_OK, hasRecordable = S_OK, recorderLetter = S_OK, createMaster = S_OK, openMaster = S_OK,
            enumRecorders = S_OK, displayNames = S_OK, openExclusive = S_OK;
    BOOL recordableDrive = TRUE;
    std::wstring recorderRoot = L"R:\\";
    std::string stagingFolder;  // with its trailing backslash
    DWORD openDriveError = 0;   // not 0: opening the drive fails with this error
    DWORD controlError = 0;     // not 0: the pass-through request fails with this error
    // Inquiry names as the drive pads them, and the recorders the disc master lists.
    std::string inquiryVendor = "VLRDISC ", inquiryProduct = "DVD-RW WRITER   ", inquiryRevision = "1.0 ";
    std::vector<RecorderNames> recorders;
    // The medium at each media query; the last one stays.
    std::deque<ScriptedMedia> media;
    // Burns: the n-th (from 1) returns burnFailure when burnFailsAt is n.
    int burnFailsAt = 0;
    HRESULT burnFailure = E_FAIL;
    // Called during every burn (for a Stop pressed while the shell writes).
    void (*duringBurn)() = nullptr;

    std::vector<std::string> calls;
    std::vector<BurnedDisc> discs;
    std::vector<HWND> burnOwners;
    int liveObjects = 0;
    bool inquiryLayoutRight = false;

    int CountCalls(const std::string &call) const;
    // Records a call of the double's objects and returns result.
    HRESULT Record(const char *call, HRESULT result);

    HRESULT CreateCdBurner(std::unique_ptr<CdBurner> *burner) override;
    HRESULT CreateDiscMaster(std::unique_ptr<DiscMaster> *master) override;
    void GetStagingFolder(char *out, size_t outSize) override;
    HANDLE OpenDrive(char letter) override;
    BOOL ControlDrive(HANDLE drive, DWORD code, void *buffer, DWORD inSize, DWORD outSize, DWORD *returned) override;
    void CloseDrive(HANDLE drive) override;

    HRESULT Burn(HWND owner);
    ScriptedMedia CurrentMedia();

private:
    DiscPlatform *previous;
};

RecorderNames MakeRecorderNames(const char *vendor, const char *product, const char *revision);

// Answers message boxes from a script (then Cancel) and records them.
class ScriptedBoxes {
public:
    explicit ScriptedBoxes(std::vector<int> answers = {});
    ~ScriptedBoxes();
    std::deque<int> answers;
    std::vector<std::string> texts;
    std::vector<UINT> types;
};
