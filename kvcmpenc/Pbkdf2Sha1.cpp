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
    explicit KeyedSha1(const std::string &password)
    {
        uint8_t block[SHA_CBLOCK] = {};
        if (password.size() > sizeof block) {
            SHA_CTX whole;
            SHA1_Init(&whole);
            SHA1_Update(&whole, password.data(), password.size());
            SHA1_Final(block, &whole);
        } else {
            memcpy(block, password.data(), password.size());
        }
        PadInto(&inner_, block, 0x36);
        PadInto(&outer_, block, 0x5c);
        OPENSSL_cleanse(block, sizeof block);
    }
    ~KeyedSha1()
    {
        OPENSSL_cleanse(&inner_, sizeof inner_);
        OPENSSL_cleanse(&outer_, sizeof outer_);
    }

    void Compute(const uint8_t *first, size_t firstLength, const uint8_t *second, size_t secondLength,
                 uint8_t mac[SHA_DIGEST_LENGTH]) const
    {
        SHA_CTX state = inner_;
        SHA1_Update(&state, first, firstLength);
        SHA1_Update(&state, second, secondLength);
        SHA1_Final(mac, &state);
        state = outer_;
        SHA1_Update(&state, mac, SHA_DIGEST_LENGTH);
        SHA1_Final(mac, &state);
        OPENSSL_cleanse(&state, sizeof state);
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

    SHA_CTX inner_, outer_;
};

}  // namespace

void DerivePbkdf2Sha1(const std::string &password, const uint8_t *salt, size_t saltLength, int rounds,
                      uint8_t *key, size_t keyLength)
{
    KeyedSha1 hmac(password);
    for (uint32_t blockNumber = 1; keyLength > 0; blockNumber++) {
        const uint8_t number[4] = {(uint8_t)(blockNumber >> 24), (uint8_t)(blockNumber >> 16),
                                   (uint8_t)(blockNumber >> 8), (uint8_t)blockNumber};
        uint8_t u[SHA_DIGEST_LENGTH], t[SHA_DIGEST_LENGTH];
        hmac.Compute(salt, saltLength, number, sizeof number, u);
        memcpy(t, u, sizeof t);
        for (int round = 1; round < rounds; round++) {
            hmac.Compute(u, sizeof u, nullptr, 0, u);
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
