#include "DriveInquiry.h"

#include <winioctl.h>
#include <ntddscsi.h>
#include <stddef.h>
#include <string.h>

#include "ErrorReport.h"
#include "MsvcrtFormat.h"
#include "TextHelpers.h"

static_assert(sizeof(SCSI_PASS_THROUGH) == kInquirySentBytes, "pass-through request layout");
#ifdef _WIN64
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 24, "pass-through request layout");
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == 36, "pass-through request layout");
#else
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == 20, "pass-through request layout");
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == 28, "pass-through request layout");
#endif

namespace {

const UCHAR kSenseBytes = 24;
const UCHAR kInquiryOperation = 0x12;

void CopyInquiryText(char *out, size_t outSize, const uint8_t *text, size_t length)
{
    size_t count = length < outSize - 1 ? length : outSize - 1;
    memcpy(out, text, count);
    out[count] = '\0';
    TrimTrailingWhitespace(out);
}

}  // namespace

void BuildDriveInquiry(uint8_t block[kInquiryBlockSize])
{
    memset(block, 0, kInquiryBlockSize);
    SCSI_PASS_THROUGH request;
    memset(&request, 0, sizeof(request));
    request.Length = (USHORT)sizeof(SCSI_PASS_THROUGH);
    request.TargetId = 1;
    request.CdbLength = 6;
    request.SenseInfoLength = kSenseBytes;
    request.DataIn = SCSI_IOCTL_DATA_IN;
    request.DataTransferLength = kInquiryDataBytes;
    request.TimeOutValue = 2;
    request.DataBufferOffset = kInquiryDataOffset;
    request.SenseInfoOffset = kInquirySenseOffset;
    request.Cdb[0] = kInquiryOperation;
    request.Cdb[4] = (UCHAR)kInquiryDataBytes;
    memcpy(block, &request, sizeof(request));
}

void ReadDriveInquiry(const uint8_t block[kInquiryBlockSize], RecorderNames *names)
{
    const uint8_t *data = block + kInquiryDataOffset;
    CopyInquiryText(names->vendor, sizeof(names->vendor), data + 8, 8);
    CopyInquiryText(names->product, sizeof(names->product), data + 16, 16);
    CopyInquiryText(names->revision, sizeof(names->revision), data + 32, 4);
}

int IdentifyDiscDrive(DiscPlatform &platform, char letter, RecorderNames *names, FILE *log)
{
    HANDLE drive = platform.OpenDrive(letter);
    if (drive == INVALID_HANDLE_VALUE) {
        LogLastError("Open Drive", log);
        WriteText(log, "WARNING: Failed to access drive %c\n", letter);
        return 0;
    }
    uint8_t block[kInquiryBlockSize];
    BuildDriveInquiry(block);
    DWORD returned = 0;
    BOOL sent = platform.ControlDrive(drive, IOCTL_SCSI_PASS_THROUGH, block, kInquirySentBytes,
                                      kInquiryReceivedBytes, &returned);
    DWORD error = GetLastError();
    platform.CloseDrive(drive);
    if (!sent) {
        SetLastError(error);
        LogLastError("Device IO Control", log);
        WriteText(log, "WARNING: Failed to obtain information on drive %c\n", letter);
        return 0;
    }
    ReadDriveInquiry(block, names);
    return 1;
}
