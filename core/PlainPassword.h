// The plain text of a stored (scrambled) password, made for the call that needs it and kept in a
// heap block of its own, out of the stacks and static data that a crash dump holds; the block is
// wiped when it goes out of scope.
#pragma once
#include <stddef.h>

#include "SecretText.h"

class PlainPassword : public SecretText {
public:
    // fieldSize: the size of the record's field the password is stored in.
    explicit PlainPassword(const char *scrambled, size_t fieldSize = 64);
};
