#include "PlainPassword.h"

#include "TextHelpers.h"

PlainPassword::PlainPassword(const char *scrambled, size_t fieldSize) : SecretText(scrambled, fieldSize)
{
    ScramblePassword(Buffer());
}

void WipeSecret(void *data, size_t size)
{
    // SecureZeroMemory writes through a volatile pointer, which the optimiser must keep.
    SecureZeroMemory(data, size);
}
