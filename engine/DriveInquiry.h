// Identifying a CD/DVD drive by a SCSI INQUIRY sent through the platform's pass-through
// control code: the vendor, product and revision that the disc master's recorders are
// matched against.
#pragma once
#include <windows.h>
#include <stdint.h>
#include <stdio.h>

#include "DiscPlatform.h"

// The pass-through block: the request, then sense space at 48 and data space at 80. A 64-bit
// build's request is 56 bytes (its data offset is pointer-sized), so its sense space follows it.
const DWORD kInquiryBlockSize = 592;
#ifdef _WIN64
const DWORD kInquirySentBytes = 56;
const DWORD kInquirySenseOffset = 56;
#else
const DWORD kInquirySentBytes = 44;
const DWORD kInquirySenseOffset = 48;
#endif
const DWORD kInquiryReceivedBytes = 272;
const DWORD kInquiryDataOffset = 80;
const DWORD kInquiryDataBytes = 192;

void BuildDriveInquiry(uint8_t block[kInquiryBlockSize]);
// The names from the standard INQUIRY data in the block, trailing white space removed.
void ReadDriveInquiry(const uint8_t block[kInquiryBlockSize], RecorderNames *names);
// Opens the drive, sends the INQUIRY and closes the drive. 0, with the log lines, on failure.
int IdentifyDiscDrive(DiscPlatform &platform, char letter, RecorderNames *names, FILE *log);
