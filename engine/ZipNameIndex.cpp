#include "ZipNameIndex.h"

#include <stdlib.h>
#include <string.h>
#include <wctype.h>

namespace {

// Characters per block of names: a few hundred paths each.
const size_t kBlockChars = 128 * 1024;
// Each stored path follows its value, in the characters before it.
const size_t kValueChars = sizeof(uint64_t) / sizeof(wchar_t);

// The character as _wcsicmp compares it; ASCII, which most paths are, without a call.
inline uint32_t FoldCase(wchar_t c)
{
    if (c < 0x80)
        return c >= L'A' && c <= L'Z' ? (uint32_t)c + 32 : (uint32_t)c;
    return (uint32_t)towlower(c);
}

// FNV-1a over the lower-case characters: names equal to _wcsicmp hash alike.
uint32_t HashIgnoringCase(const wchar_t *path)
{
    uint32_t hash = 2166136261u;
    for (; *path != L'\0'; ++path) {
        hash ^= FoldCase(*path);
        hash *= 16777619u;
    }
    return hash;
}

// A path is mostly looked up as it was stored, so the exact comparison comes first.
bool IsSameIgnoringCase(const wchar_t *a, const wchar_t *b)
{
    return wcscmp(a, b) == 0 || _wcsicmp(a, b) == 0;
}

}  // namespace

ZipNameIndex::~ZipNameIndex()
{
    for (size_t i = 0; i < blockCount_; ++i)
        free(blocks_[i]);
    free(blocks_);
    free(slots_);
}

const ZipNameIndex::Slot *ZipNameIndex::Locate(const wchar_t *path, uint32_t hash) const
{
    size_t mask = slotCount_ - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot &slot = slots_[i];
        if (slot.name == nullptr || (slot.hash == hash && IsSameIgnoringCase(slot.name, path)))
            return &slot;
    }
}

bool ZipNameIndex::Contains(const wchar_t *path) const
{
    return count_ > 0 && Locate(path, HashIgnoringCase(path))->name != nullptr;
}

bool ZipNameIndex::Find(const wchar_t *path, uint64_t *value) const
{
    if (count_ == 0)
        return false;
    const Slot *slot = Locate(path, HashIgnoringCase(path));
    if (slot->name == nullptr)
        return false;
    *value = ValueOf(slot->name);
    return true;
}

uint64_t ZipNameIndex::ValueOf(const wchar_t *stored)
{
    uint64_t value;
    memcpy(&value, stored - kValueChars, sizeof(value));
    return value;
}

bool ZipNameIndex::GrowSlots()
{
    size_t grownCount = slotCount_ == 0 ? 1024 : slotCount_ * 2;
    Slot *grown = static_cast<Slot *>(calloc(grownCount, sizeof(Slot)));
    if (grown == nullptr)
        return false;
    Slot *old = slots_;
    size_t oldCount = slotCount_;
    slots_ = grown;
    slotCount_ = grownCount;
    for (size_t i = 0; i < oldCount; ++i) {
        if (old[i].name == nullptr)
            continue;
        size_t mask = slotCount_ - 1;
        size_t at = old[i].hash & mask;
        while (slots_[at].name != nullptr)
            at = (at + 1) & mask;
        slots_[at] = old[i];
    }
    free(old);
    return true;
}

// A copy of path after its value in the last block, or in a new one when it does not fit there.
const wchar_t *ZipNameIndex::Store(const wchar_t *path, size_t length, uint64_t value)
{
    size_t needed = kValueChars + length + 1;
    if (blockCount_ == 0 || kBlockChars - blockUsed_ < needed) {
        size_t chars = needed > kBlockChars ? needed : kBlockChars;
        wchar_t **grown = static_cast<wchar_t **>(realloc(blocks_, (blockCount_ + 1) * sizeof(wchar_t *)));
        if (grown == nullptr)
            return nullptr;
        blocks_ = grown;
        wchar_t *block = static_cast<wchar_t *>(malloc(chars * sizeof(wchar_t)));
        if (block == nullptr)
            return nullptr;
        blocks_[blockCount_++] = block;
        blockUsed_ = 0;
    }
    wchar_t *stored = blocks_[blockCount_ - 1] + blockUsed_ + kValueChars;
    memcpy(stored - kValueChars, &value, sizeof(value));
    memcpy(stored, path, (length + 1) * sizeof(wchar_t));
    blockUsed_ += needed;
    return stored;
}

bool ZipNameIndex::Add(const wchar_t *path, uint64_t value)
{
    // Half the slots stay empty, so a look-up ends after a probe or two.
    if ((count_ + 1) * 2 > slotCount_ && !GrowSlots())
        return false;
    uint32_t hash = HashIgnoringCase(path);
    Slot *slot = const_cast<Slot *>(Locate(path, hash));
    if (slot->name != nullptr)
        return true;
    const wchar_t *stored = Store(path, wcslen(path), value);
    if (stored == nullptr)
        return false;
    slot->name = stored;
    slot->hash = hash;
    ++count_;
    return true;
}
