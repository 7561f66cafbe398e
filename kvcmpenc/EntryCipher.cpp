#include "EntryCipher.h"

#include <string.h>
#include <algorithm>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include "Pbkdf2Sha1.h"

namespace {

const int KeyRounds = 1000;

}  // namespace

bool DeriveEntryKeys(const SecretText &password, EntryKeys *keys)
{
    if (RAND_bytes(keys->header, (int)AesSaltLength) != 1)
        return false;
    uint8_t derived[2 * AesKeyLength + 2];   // AES key, MAC key, password check
    DerivePbkdf2Sha1(password.Text(), password.Length(), keys->header, AesSaltLength, KeyRounds, derived,
                     sizeof derived);
    memcpy(keys->aesKey, derived, AesKeyLength);
    memcpy(keys->macKey, derived + AesKeyLength, AesKeyLength);
    memcpy(keys->header + AesSaltLength, derived + 2 * AesKeyLength, 2);
    OPENSSL_cleanse(derived, sizeof derived);
    return true;
}

void ForgetEntryKeys(EntryKeys *keys)
{
    OPENSSL_cleanse(keys, sizeof *keys);
}

EntryCipher::~EntryCipher()
{
    EVP_MAC_CTX_free(mac_);
    EVP_MAC_free(macType_);
    EVP_CIPHER_CTX_free(aes_);
    EVP_CIPHER_free(aesType_);
    OPENSSL_cleanse(pad_, sizeof pad_);
}

bool EntryCipher::Init()
{
    // Counter mode is built on the plain block cipher: the library's own counter runs the
    // other way round from the one the format uses.
    if (!aesType_)
        aesType_ = EVP_CIPHER_fetch(nullptr, "AES-256-ECB", nullptr);
    if (!aes_)
        aes_ = EVP_CIPHER_CTX_new();
    if (!macType_)
        macType_ = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (macType_ && !mac_) {
        mac_ = EVP_MAC_CTX_new(macType_);
        char digest[] = "SHA1";
        OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
        if (mac_ && EVP_MAC_CTX_set_params(mac_, params) != 1) {
            EVP_MAC_CTX_free(mac_);
            mac_ = nullptr;
        }
    }
    return aesType_ && aes_ && mac_;
}

bool EntryCipher::Begin(const EntryKeys &keys)
{
    counter_ = 0;
    padUsed_ = sizeof pad_;
    return EVP_EncryptInit_ex2(aes_, aesType_, keys.aesKey, nullptr, nullptr) == 1 &&
           EVP_CIPHER_CTX_set_padding(aes_, 0) == 1 && EVP_MAC_init(mac_, keys.macKey, AesKeyLength, nullptr) == 1;
}

bool EntryCipher::RefillPad()
{
    for (size_t i = 0; i < PadBlocks; i++) {
        uint64_t count = ++counter_;
        uint8_t *block = pad_ + 16 * i;
        for (int b = 0; b < 8; b++)
            block[b] = (uint8_t)(count >> (8 * b));
        memset(block + 8, 0, 8);
    }
    int produced = 0;
    if (EVP_EncryptUpdate(aes_, pad_, &produced, pad_, (int)sizeof pad_) != 1 || produced != (int)sizeof pad_)
        return false;
    padUsed_ = 0;
    return true;
}

bool EntryCipher::Encrypt(uint8_t *data, size_t length)
{
    uint8_t *start = data;
    size_t total = length;
    while (length > 0) {
        if (padUsed_ == sizeof pad_ && !RefillPad())
            return false;
        size_t chunk = std::min(length, sizeof pad_ - padUsed_);
        const uint8_t *pad = pad_ + padUsed_;
        size_t i = 0;
        for (; i + 8 <= chunk; i += 8) {   // a word at a time, in whatever alignment
            uint64_t word, key;
            memcpy(&word, data + i, 8);
            memcpy(&key, pad + i, 8);
            word ^= key;
            memcpy(data + i, &word, 8);
        }
        for (; i < chunk; i++)
            data[i] ^= pad[i];
        data += chunk;
        length -= chunk;
        padUsed_ += chunk;
    }
    return total == 0 || EVP_MAC_update(mac_, start, total) == 1;
}

bool EntryCipher::Finish(uint8_t mac[AesMacLength])
{
    uint8_t full[EVP_MAX_MD_SIZE];
    size_t length = 0;
    bool ok = EVP_MAC_final(mac_, full, &length, sizeof full) == 1 && length >= AesMacLength;
    if (ok)
        memcpy(mac, full, AesMacLength);
    return ok;
}
