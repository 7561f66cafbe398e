#include "PlainPassword.h"

#include "TextHelpers.h"

PlainPassword::PlainPassword(const char *scrambled, size_t fieldSize) : SecretText(scrambled, fieldSize)
{
    ScramblePassword(Buffer());
}
