// The disc master of IMAPI version 1 and its recorder interfaces, declared here because the
// compiler's headers lack them. Only the slots this program calls are named for their use;
// every slot keeps its documented place in the table.
#pragma once
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

DEFINE_GUID(kClsidMsDiscMasterObj, 0x520CCA63, 0x51A5, 0x11D3, 0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E);
DEFINE_GUID(kIidDiscMaster, 0x520CCA62, 0x51A5, 0x11D3, 0x91, 0x44, 0x00, 0x10, 0x4B, 0xA1, 0x1C, 0x5E);

struct ImapiDiscRecorder : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Init(BYTE *uniqueId, ULONG idSize, ULONG driveNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderGUID(BYTE *uniqueId, ULONG bufferSize, ULONG *sizeRequired) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderType(long *type) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayNames(BSTR *vendor, BSTR *product, BSTR *revision) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetBasePnPID(BSTR *id) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPath(BSTR *path) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderProperties(IUnknown **properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetRecorderProperties(IUnknown *properties) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecorderState(ULONG *state) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenExclusive() = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryMediaType(long *type, long *flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryMediaInfo(BYTE *sessions, BYTE *lastTrack, ULONG *startAddress,
                                                     ULONG *nextWritable, ULONG *freeBlocks) = 0;
    virtual HRESULT STDMETHODCALLTYPE Eject() = 0;
    virtual HRESULT STDMETHODCALLTYPE Erase(BOOLEAN fullErase) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

struct ImapiEnumDiscRecorders : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, ImapiDiscRecorder **recorders, ULONG *fetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG count) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(ImapiEnumDiscRecorders **copy) = 0;
};

struct ImapiDiscMaster : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Open() = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDiscMasterFormats(IUnknown **formats) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActiveDiscMasterFormat(GUID *format) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActiveDiscMasterFormat(REFIID format, void **master) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumDiscRecorders(ImapiEnumDiscRecorders **recorders) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetActiveDiscRecorder(ImapiDiscRecorder **recorder) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActiveDiscRecorder(ImapiDiscRecorder *recorder) = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearFormatContent() = 0;
    virtual HRESULT STDMETHODCALLTYPE ProgressAdvise(IUnknown *events, UINT_PTR *cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE ProgressUnadvise(UINT_PTR cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecordDisc(BOOLEAN simulate, BOOLEAN ejectAfterBurn) = 0;
    virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};
