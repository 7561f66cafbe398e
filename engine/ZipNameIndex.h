// Full paths, each with a 64-bit value (a last-write time): the paths already listed for one
// archive, so a file reached through two sources of the same root is listed once, and the
// record of the files archived since the last full run. A look-up takes the same time however
// many paths are held, and the paths are kept end to end in large blocks, so the memory grows
// with their lengths.
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

    // Whether path is held, ignoring case as _wcsicmp does.
    bool Contains(const wchar_t *path) const;
    // Whether path is held, and its value.
    bool Find(const wchar_t *path, uint64_t *value) const;
    // Adds a path that is not held yet (one that is keeps its value); false when memory ran out
    // (the index is unchanged).
    bool Add(const wchar_t *path, uint64_t value = 0);
    size_t Count() const { return count_; }
    // Calls visit(path, value) for every path, in no particular order, while it returns true;
    // false when a call returned false.
    template <typename Visit> bool ForEach(Visit visit) const
    {
        for (size_t i = 0; i < slotCount_; ++i)
            if (slots_[i].name != nullptr && !visit(slots_[i].name, ValueOf(slots_[i].name)))
                return false;
        return true;
    }

private:
    struct Slot {
        const wchar_t *name;  // null for an empty slot
        uint32_t hash;
    };
    const Slot *Locate(const wchar_t *path, uint32_t hash) const;
    bool GrowSlots();
    const wchar_t *Store(const wchar_t *path, size_t length, uint64_t value);
    static uint64_t ValueOf(const wchar_t *stored);

    Slot *slots_ = nullptr;
    size_t slotCount_ = 0;  // a power of two, at least twice the count
    size_t count_ = 0;
    wchar_t **blocks_ = nullptr;
    size_t blockCount_ = 0;
    size_t blockUsed_ = 0;  // characters taken in the last block
};
