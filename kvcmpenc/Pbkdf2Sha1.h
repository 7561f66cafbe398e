// PBKDF2 with HMAC-SHA1, the key derivation of WinZip AES. Each round works on hash states
// prepared once, so deriving a key allocates nothing and takes no lock: the crypto library's
// own function allocates in every round, and threads deriving at once then queue for the heap.
#pragma once
#include <stddef.h>
#include <stdint.h>

void DerivePbkdf2Sha1(const char *password, size_t passwordLength, const uint8_t *salt, size_t saltLength, int rounds,
                      uint8_t *key, size_t keyLength);
