// WinZip AES-256 for one entry, in the form the ZIP library writes it: a 16-byte salt and a
// 2-byte password check before the data, the compressed data encrypted with AES-256 in counter
// mode (a little-endian block counter from 1), and the first 10 bytes of an HMAC-SHA1 of the
// encrypted data after it. Keys come from the password and the salt by PBKDF2-HMAC-SHA1 with
// 1000 rounds: the slow part, which DeriveEntryKeys does apart so that it can run on several
// threads, while one EntryCipher encrypts entry after entry on a thread of its own.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "SecretText.h"

typedef struct evp_cipher_st EVP_CIPHER;
typedef struct evp_cipher_ctx_st EVP_CIPHER_CTX;
typedef struct evp_mac_st EVP_MAC;
typedef struct evp_mac_ctx_st EVP_MAC_CTX;

const size_t AesSaltLength = 16;
const size_t AesHeaderLength = AesSaltLength + 2;   // salt and password check
const size_t AesKeyLength = 32;
const size_t AesMacLength = 10;

struct EntryKeys {
    uint8_t header[AesHeaderLength];   // written before the entry's data
    uint8_t aesKey[AesKeyLength];
    uint8_t macKey[AesKeyLength];
};

// Draws a new salt and derives the entry's keys from it and the password.
bool DeriveEntryKeys(const SecretText &password, EntryKeys *keys);
void ForgetEntryKeys(EntryKeys *keys);

class EntryCipher {
public:
    EntryCipher() = default;
    ~EntryCipher();
    EntryCipher(const EntryCipher &) = delete;
    EntryCipher &operator=(const EntryCipher &) = delete;

    // Allocates the cipher and MAC contexts.
    bool Init();
    // Starts an entry.
    bool Begin(const EntryKeys &keys);
    // Encrypts the entry's next bytes in place; the whole entry may come in pieces of any length.
    bool Encrypt(uint8_t *data, size_t length);
    // The authentication code that ends the entry.
    bool Finish(uint8_t mac[AesMacLength]);

private:
    bool RefillPad();

    EVP_CIPHER *aesType_ = nullptr;
    EVP_CIPHER_CTX *aes_ = nullptr;
    EVP_MAC *macType_ = nullptr;
    EVP_MAC_CTX *mac_ = nullptr;
    uint64_t counter_ = 0;
    static const size_t PadBlocks = 256;
    uint8_t pad_[PadBlocks * 16] = {};   // key stream for the next bytes
    size_t padUsed_ = sizeof pad_;
};
