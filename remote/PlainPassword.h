// The plain text of a stored password, made from its scrambled form for the one call that needs
// it and wiped when it goes out of scope, so it does not linger on a job thread's stack (where
// a crash dump would find it) for the rest of the run.
#pragma once
#include <stddef.h>

class PlainPassword {
public:
    explicit PlainPassword(const char *scrambled);
    ~PlainPassword();
    PlainPassword(const PlainPassword &) = delete;
    PlainPassword &operator=(const PlainPassword &) = delete;
    const char *Text() const { return text; }

private:
    char text[64];  // the size of the record's password fields
};

// Overwrites size bytes in a way the compiler may not leave out as a dead store.
void WipeSecret(void *data, size_t size);
