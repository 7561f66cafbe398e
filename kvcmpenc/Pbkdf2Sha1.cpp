#include "Pbkdf2Sha1.h"

#include <string.h>
#include <algorithm>
// The plain SHA-1 functions are the only ones that hash on a copied state without allocating.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

namespace {

// HMAC-SHA1 under one key, with the inner and outer padded keys already hashed.
class KeyedSha1 {
public:
    KeyedSha1(const char *password, size_t length)
    {
        uint8_t block[SHA_CBLOCK] = {};
        if (length > sizeof block) {
            SHA1_Init(&scratch_);
            SHA1_Update(&scratch_, password, length);
            SHA1_Final(block, &scratch_);
        } else {
            memcpy(block, password, length);
        }
        PadInto(&inner_, block, 0x36);
        PadInto(&outer_, block, 0x5c);
        OPENSSL_cleanse(block, sizeof block);
        // A digest as the only message: one block, closed by the padding of an 84-byte message.
        memset(round_, 0, sizeof round_);
        round_[SHA_DIGEST_LENGTH] = 0x80;
        round_[SHA_CBLOCK - 2] = (uint8_t)((SHA_CBLOCK + SHA_DIGEST_LENGTH) * 8 >> 8);
        round_[SHA_CBLOCK - 1] = (uint8_t)((SHA_CBLOCK + SHA_DIGEST_LENGTH) * 8);
    }
    ~KeyedSha1()
    {
        OPENSSL_cleanse(&inner_, sizeof inner_);
        OPENSSL_cleanse(&outer_, sizeof outer_);
        OPENSSL_cleanse(&scratch_, sizeof scratch_);
        OPENSSL_cleanse(round_, sizeof round_);
    }

    void Compute(const uint8_t *first, size_t firstLength, const uint8_t *second, size_t secondLength,
                 uint8_t mac[SHA_DIGEST_LENGTH])
    {
        scratch_ = inner_;
        SHA1_Update(&scratch_, first, firstLength);
        SHA1_Update(&scratch_, second, secondLength);
        SHA1_Final(mac, &scratch_);
        scratch_ = outer_;
        SHA1_Update(&scratch_, mac, SHA_DIGEST_LENGTH);
        SHA1_Final(mac, &scratch_);
    }

    // The MAC of a MAC, as each round after the first takes it: one block of each hash.
    void ComputeAgain(uint8_t mac[SHA_DIGEST_LENGTH])
    {
        memcpy(round_, mac, SHA_DIGEST_LENGTH);
        scratch_ = inner_;
        SHA1_Transform(&scratch_, round_);
        StoreDigest(scratch_, round_);
        scratch_ = outer_;
        SHA1_Transform(&scratch_, round_);
        StoreDigest(scratch_, mac);
    }

private:
    static void PadInto(SHA_CTX *state, const uint8_t *key, uint8_t pad)
    {
        uint8_t padded[SHA_CBLOCK];
        for (size_t i = 0; i < sizeof padded; i++)
            padded[i] = key[i] ^ pad;
        SHA1_Init(state);
        SHA1_Update(state, padded, sizeof padded);
        OPENSSL_cleanse(padded, sizeof padded);
    }

    static void StoreDigest(const SHA_CTX &state, uint8_t *digest)
    {
        const SHA_LONG words[5] = {state.h0, state.h1, state.h2, state.h3, state.h4};
        for (int i = 0; i < 5; i++) {
            digest[4 * i] = (uint8_t)(words[i] >> 24);
            digest[4 * i + 1] = (uint8_t)(words[i] >> 16);
            digest[4 * i + 2] = (uint8_t)(words[i] >> 8);
            digest[4 * i + 3] = (uint8_t)words[i];
        }
    }

    SHA_CTX inner_, outer_, scratch_;
    uint8_t round_[SHA_CBLOCK];
};

}  // namespace

void DerivePbkdf2Sha1(const char *password, size_t passwordLength, const uint8_t *salt, size_t saltLength,
                      int rounds, uint8_t *key, size_t keyLength)
{
    KeyedSha1 hmac(password, passwordLength);
    for (uint32_t blockNumber = 1; keyLength > 0; blockNumber++) {
        const uint8_t number[4] = {(uint8_t)(blockNumber >> 24), (uint8_t)(blockNumber >> 16),
                                   (uint8_t)(blockNumber >> 8), (uint8_t)blockNumber};
        uint8_t u[SHA_DIGEST_LENGTH], t[SHA_DIGEST_LENGTH];
        hmac.Compute(salt, saltLength, number, sizeof number, u);
        memcpy(t, u, sizeof t);
        for (int round = 1; round < rounds; round++) {
            hmac.ComputeAgain(u);
            for (size_t i = 0; i < sizeof t; i++)
                t[i] ^= u[i];
        }
        size_t part = std::min(keyLength, sizeof t);
        memcpy(key, t, part);
        key += part;
        keyLength -= part;
        OPENSSL_cleanse(u, sizeof u);
        OPENSSL_cleanse(t, sizeof t);
    }
}
