// The plain copy of a stored password lives off the stack and is wiped when it goes out of scope.
#include <gtest/gtest.h>

#include <string.h>

#include <new>

#include "PlainPassword.h"
#include "TextHelpers.h"

TEST(PlainPassword, GivesThePlainTextAndLeavesOnlyZerosBehind)
{
    char stored[64] = "s3cret pass";
    ScramblePassword(stored);
    // In storage the test keeps, so what the destructor left behind can be read.
    alignas(PlainPassword) unsigned char storage[sizeof(PlainPassword)];
    PlainPassword *password = new (storage) PlainPassword(stored);
    EXPECT_STREQ("s3cret pass", password->Text());
    // Not in the object, which may lie on a thread's stack.
    const char *text = password->Text();
    EXPECT_TRUE(text < reinterpret_cast<char *>(storage) || text >= reinterpret_cast<char *>(storage + sizeof(storage)));
    password->~PlainPassword();
    unsigned char zeros[sizeof(PlainPassword)] = {};
    EXPECT_EQ(0, memcmp(storage, zeros, sizeof(storage)));
}
