// The volumes of one request: source letter i is exposed under target letter i.
#pragma once
#include <stdio.h>

#include "ShadowCopyRequest.h"

struct LetterPairs {
    int count;
    wchar_t source[26];
    wchar_t target[26];
};

// Reads the letters of request; false (with an ERROR line) when they do not pair up.
bool ReadLetterPairs(FILE *log, const ShadowCopyRequest &request, LetterPairs *pairs);

// "X:" for a letter, the form DefineDosDevice and QueryDosDevice take.
void FormatDeviceName(wchar_t letter, wchar_t device[3]);

// True when the letter already names a device (a drive or an earlier definition).
bool IsLetterInUse(wchar_t letter);

// Waits, polling like the callers do, until the caller asks for the release.
void WaitForReleaseRequest(ShadowCopyRequest *request);
