// The full paths already listed for one archive, so a file reached through two sources of the
// same root is listed once. A look-up takes the same time however many paths are listed, and
// the paths are kept end to end in large blocks, so the memory grows with their lengths.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

class ZipNameIndex {
public:
    ZipNameIndex() = default;
    ~ZipNameIndex();
    ZipNameIndex(const ZipNameIndex &) = delete;
    ZipNameIndex &operator=(const ZipNameIndex &) = delete;

    // Whether path is listed, ignoring case as _wcsicmp does.
    bool Contains(const wchar_t *path) const;
    // Adds a path that is not listed yet; false when memory ran out (the index is unchanged).
    bool Add(const wchar_t *path);
    size_t Count() const { return count_; }

private:
    struct Slot {
        const wchar_t *name;  // null for an empty slot
        uint32_t hash;
    };
    const Slot *Find(const wchar_t *path, uint32_t hash) const;
    bool GrowSlots();
    const wchar_t *Store(const wchar_t *path, size_t length);

    Slot *slots_ = nullptr;
    size_t slotCount_ = 0;  // a power of two, at least twice the count
    size_t count_ = 0;
    wchar_t **blocks_ = nullptr;
    size_t blockCount_ = 0;
    size_t blockUsed_ = 0;  // characters taken in the last block
};
