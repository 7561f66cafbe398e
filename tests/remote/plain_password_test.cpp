// The plain copy of a stored password lives only as long as its scope and is wiped after.
#include <gtest/gtest.h>

#include <string.h>

#include <new>

#include "PlainPassword.h"
#include "TextHelpers.h"

namespace {

TEST(PlainPassword, GivesThePlainTextAndLeavesOnlyZerosBehind)
{
    char stored[64] = "s3cret pass";
    ScramblePassword(stored);
    // The object lives in storage the test keeps, so what its destructor left can be read.
    alignas(PlainPassword) unsigned char storage[sizeof(PlainPassword)];
    PlainPassword *password = new (storage) PlainPassword(stored);
    EXPECT_STREQ("s3cret pass", password->Text());
    EXPECT_STRNE("s3cret pass", stored);  // the stored field stays scrambled
    password->~PlainPassword();
    unsigned char zeros[sizeof(PlainPassword)] = {};
    EXPECT_EQ(0, memcmp(storage, zeros, sizeof(storage)));

    char longest[80];
    memset(longest, 'x', sizeof(longest) - 1);
    longest[sizeof(longest) - 1] = '\0';
    PlainPassword cut(longest);
    EXPECT_EQ(63u, strlen(cut.Text()));  // bounded by the record's field
}

}  // namespace
