// Shadow copies through the Volume Shadow Copy Service: one snapshot set holding every source
// volume, each snapshot's device mapped to its target letter with DefineDosDevice. The set is
// non-persistent and auto-released, so the service deletes the snapshots itself when this
// process ends, even when it is ended from outside.
#include "ShadowCopyWork.h"

#include <windows.h>
#include <objbase.h>
#include <vss.h>
#include <vsbackup.h>
#include <vswriter.h>
#include <vsserror.h>
#include <stdlib.h>
#include <string.h>

#include "LetterPairs.h"
#include "LibraryStatus.h"
#include "LogStream.h"
#include "RequestFields.h"
#include "WaitLimits.h"

namespace {

typedef HRESULT(STDAPICALLTYPE *CreateBackupComponentsProc)(IVssBackupComponents **);

// vssapi.dll is resolved at run time, so that this library loads where the service is
// missing. Vista and later export the Internal name; older systems only the C++ one.
CreateBackupComponentsProc FindCreateBackupComponents(HMODULE vssapi)
{
    static const char *const names[] = {
        "CreateVssBackupComponentsInternal",
#ifdef _WIN64
        "?CreateVssBackupComponents@@YAJPEAPEAVIVssBackupComponents@@@Z",
#else
        "?CreateVssBackupComponents@@YGJPAPAVIVssBackupComponents@@@Z",
#endif
    };
    for (const char *name : names) {
        FARPROC proc = GetProcAddress(vssapi, name);
        if (proc != nullptr)
            return reinterpret_cast<CreateBackupComponentsProc>(reinterpret_cast<void *>(proc));
    }
    return nullptr;
}

// Polls an asynchronous step to its end within the creation limit, then releases it.
int32_t FinishAsync(FILE *log, const char *step, HRESULT started, IVssAsync *async)
{
    if (FAILED(started) || async == nullptr) {
        WriteLogLine(log, "ERROR: %s failed (0x%08lX)\n", step, (unsigned long)started);
        if (async != nullptr)
            async->Release();
        return kStatusServiceFailed;
    }
    DWORD limit = ShadowWaitLimit(kShadowCreateWaitMs);
    DWORD start = GetTickCount();
    int32_t status = kStatusServiceFailed;
    for (;;) {
        HRESULT result = S_OK;
        HRESULT hr = async->QueryStatus(&result, nullptr);
        if (FAILED(hr)) {
            WriteLogLine(log, "ERROR: %s: status query failed (0x%08lX)\n", step, (unsigned long)hr);
            break;
        }
        if (result == VSS_S_ASYNC_FINISHED) {
            status = kStatusReady;
            break;
        }
        if (result != VSS_S_ASYNC_PENDING) {
            WriteLogLine(log, "ERROR: %s ended with 0x%08lX\n", step, (unsigned long)result);
            break;
        }
        if (GetTickCount() - start >= limit) {
            WriteLogLine(log, "ERROR: %s did not finish within %lu seconds\n", step,
                         (unsigned long)(limit / 1000));
            async->Cancel();
            status = kStatusTimedOut;
            break;
        }
        Sleep(100);
    }
    async->Release();
    return status;
}

int32_t CheckStep(FILE *log, const char *step, HRESULT hr)
{
    if (SUCCEEDED(hr))
        return kStatusReady;
    WriteLogLine(log, "ERROR: %s failed (0x%08lX)\n", step, (unsigned long)hr);
    return kStatusServiceFailed;
}

struct ExposedSnapshots {
    int count;
    wchar_t device[26][MAX_PATH];  // the snapshot's NT device, "\Device\HarddiskVolumeShadowCopyN"
};

// Maps each snapshot's device to its target letter.
int32_t ExposeSnapshots(FILE *log, IVssBackupComponents *components, const LetterPairs &pairs,
                        const VSS_ID *ids, ExposedSnapshots *exposed)
{
    for (int i = 0; i < pairs.count; i++) {
        VSS_SNAPSHOT_PROP prop;
        memset(&prop, 0, sizeof prop);
        HRESULT hr = components->GetSnapshotProperties(ids[i], &prop);
        if (FAILED(hr) || prop.m_pwszSnapshotDeviceObject == nullptr) {
            WriteLogLine(log, "ERROR: No device for the shadow copy of %lc: (0x%08lX)\n",
                         pairs.source[i], (unsigned long)hr);
            return kStatusServiceFailed;
        }
        // "\\?\GLOBALROOT\Device\..." names the device through the global root; the raw
        // target of a DOS device is the NT name after that prefix.
        const wchar_t *device = prop.m_pwszSnapshotDeviceObject;
        const wchar_t *globalRoot = L"\\\\?\\GLOBALROOT";
        if (wcsncmp(device, globalRoot, wcslen(globalRoot)) == 0)
            device += wcslen(globalRoot);
        wcsncpy(exposed->device[i], device, MAX_PATH - 1);
        exposed->device[i][MAX_PATH - 1] = L'\0';
        // The properties' strings belong to this call; free them as VssFreeSnapshotProperties does.
        CoTaskMemFree(prop.m_pwszSnapshotDeviceObject);
        CoTaskMemFree(prop.m_pwszOriginalVolumeName);
        CoTaskMemFree(prop.m_pwszOriginatingMachine);
        CoTaskMemFree(prop.m_pwszServiceMachine);
        CoTaskMemFree(prop.m_pwszExposedName);
        CoTaskMemFree(prop.m_pwszExposedPath);

        wchar_t letter[3];
        FormatDeviceName(pairs.target[i], letter);
        if (IsLetterInUse(pairs.target[i])) {
            WriteLogLine(log, "ERROR: Target drive %ls is already in use\n", letter);
            return kStatusExposeFailed;
        }
        if (!DefineDosDeviceW(DDD_RAW_TARGET_PATH, letter, exposed->device[i])) {
            WriteLogLine(log, "ERROR: Unable to expose %ls as %ls (error %lu)\n", exposed->device[i],
                         letter, GetLastError());
            return kStatusExposeFailed;
        }
        exposed->count = i + 1;
        WriteLogLine(log, "Exposed shadow copy of %lc: as %ls\n", pairs.source[i], letter);
    }
    return kStatusReady;
}

void RemoveSnapshotLetters(FILE *log, const LetterPairs &pairs, const ExposedSnapshots &exposed)
{
    for (int i = exposed.count - 1; i >= 0; i--) {
        wchar_t letter[3];
        FormatDeviceName(pairs.target[i], letter);
        if (!DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                              letter, exposed.device[i]))
            WriteLogLine(log, "ERROR: Unable to remove %ls (error %lu)\n", letter, GetLastError());
    }
}

// The snapshot set's steps up to the point where every copy is exposed.
int32_t MakeSnapshotSet(FILE *log, IVssBackupComponents *components, const LetterPairs &pairs,
                        int verbose, ExposedSnapshots *exposed)
{
    int32_t status = CheckStep(log, "InitializeForBackup", components->InitializeForBackup(nullptr));
    if (status == kStatusReady)
        status = CheckStep(log, "SetContext", components->SetContext(VSS_CTX_BACKUP));
    // A copy backup leaves the writers' own backup history alone.
    if (status == kStatusReady)
        status = CheckStep(log, "SetBackupState",
                           components->SetBackupState(false, false, VSS_BT_COPY, false));
    IVssAsync *async = nullptr;
    if (status == kStatusReady)
        status = FinishAsync(log, "GatherWriterMetadata", components->GatherWriterMetadata(&async), async);
    VSS_ID setId = GUID_NULL;
    if (status == kStatusReady)
        status = CheckStep(log, "StartSnapshotSet", components->StartSnapshotSet(&setId));
    VSS_ID ids[26] = {};
    for (int i = 0; status == kStatusReady && i < pairs.count; i++) {
        wchar_t volume[4] = {pairs.source[i], L':', L'\\', L'\0'};
        status = CheckStep(log, "AddToSnapshotSet", components->AddToSnapshotSet(volume, GUID_NULL, &ids[i]));
        if (status == kStatusReady && verbose == 1)
            WriteLogLine(log, "Added %ls to the snapshot set\n", volume);
    }
    async = nullptr;
    if (status == kStatusReady)
        status = FinishAsync(log, "PrepareForBackup", components->PrepareForBackup(&async), async);
    async = nullptr;
    if (status == kStatusReady)
        status = FinishAsync(log, "DoSnapshotSet", components->DoSnapshotSet(&async), async);
    if (status == kStatusReady)
        status = ExposeSnapshots(log, components, pairs, ids, exposed);
    return status;
}

}  // namespace

int32_t FulfilShadowCopyRequest(FILE *log, ShadowCopyRequest *request)
{
    LetterPairs pairs = {};
    if (!ReadLetterPairs(log, *request, &pairs)) {
        StoreField(&request->status, kStatusInvalidRequest);
        return kStatusInvalidRequest;
    }

    int32_t status = kStatusServiceMissing;
    IVssBackupComponents *components = nullptr;
    ExposedSnapshots *exposed = nullptr;
    CreateBackupComponentsProc create = nullptr;
    HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // The writers call back into this process; without this they may be refused access.
    // It fails harmlessly (RPC_E_TOO_LATE) when the process has set its COM security already.
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                         RPC_C_IMP_LEVEL_IDENTIFY, nullptr, EOAC_NONE, nullptr);
    HMODULE vssapi = LoadLibraryW(L"vssapi.dll");
    if (vssapi == nullptr) {
        WriteLogLine(log, "ERROR: The Volume Shadow Copy Service is not available: vssapi.dll does not load (error %lu)\n",
                     GetLastError());
        goto done;
    }
    create = FindCreateBackupComponents(vssapi);
    if (create == nullptr) {
        WriteLogLine(log, "ERROR: The Volume Shadow Copy Service is not available: vssapi.dll lacks CreateVssBackupComponents\n");
        goto done;
    }
    {
        HRESULT hr = create(&components);
        if (FAILED(hr) || components == nullptr) {
            WriteLogLine(log, "ERROR: The Volume Shadow Copy Service is not available: CreateVssBackupComponents failed (0x%08lX)\n",
                         (unsigned long)hr);
            components = nullptr;
            goto done;
        }
    }
    exposed = static_cast<ExposedSnapshots *>(calloc(1, sizeof *exposed));
    if (exposed == nullptr) {
        WriteLogLine(log, "ERROR: Out of memory\n");
        status = kStatusServiceFailed;
        goto done;
    }
    status = MakeSnapshotSet(log, components, pairs, request->verbose, exposed);
    if (status != kStatusReady) {
        RemoveSnapshotLetters(log, pairs, *exposed);
        components->AbortBackup();
        goto done;
    }
    WriteLogLine(log, "Shadow copies ready for %d volume(s)\n", pairs.count);
    StoreField(&request->status, kStatusReady);
    WaitForReleaseRequest(request);
    RemoveSnapshotLetters(log, pairs, *exposed);
    {
        IVssAsync *async = nullptr;
        FinishAsync(log, "BackupComplete", components->BackupComplete(&async), async);
    }
    WriteLogLine(log, "Released the shadow copies\n");

done:
    if (components != nullptr) {
        components->FreeWriterMetadata();
        components->Release();  // deletes the auto-released snapshots
    }
    free(exposed);
    if (vssapi != nullptr)
        FreeLibrary(vssapi);
    if (SUCCEEDED(com))
        CoUninitialize();
    if (status != kStatusReady)
        StoreField(&request->status, status);
    return status;
}
