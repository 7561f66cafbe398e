#include "PlainPassword.h"

#include <windows.h>

#include "TextHelpers.h"

PlainPassword::PlainPassword(const char *scrambled)
{
    lstrcpynA(text, scrambled, sizeof(text));
    ScramblePassword(text);
}

PlainPassword::~PlainPassword()
{
    WipeSecret(text, sizeof(text));
}

void WipeSecret(void *data, size_t size)
{
    // SecureZeroMemory writes through a volatile pointer, which the optimiser must keep.
    SecureZeroMemory(data, size);
}
