#include "PasswordRule.h"

#include <string.h>

#include "TextHelpers.h"

const char kUnstorablePasswordText[] = "Password cannot contain the section sign (\xA7) character";

bool IsStorablePassword(const char *password)
{
    return strchr(password, (char)kPasswordKey) == nullptr;
}
