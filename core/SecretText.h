// A secret's text, such as a password's plain form, kept where a crash dump does not look: in a
// heap block of its own. A normal minidump holds every thread's stack, and some dump writers the
// program's static data too, but not the heap. The block is wiped before it is given back.
// Header only, so the libraries loaded at run time can hold their secrets the same way.
#pragma once
#include <windows.h>
#include <string.h>

#include <utility>

class SecretText {
public:
    SecretText() = default;
    // Room for size - 1 characters and the terminator, empty.
    explicit SecretText(size_t size) : text_(new char[size > 0 ? size : 1]()), size_(size > 0 ? size : 1) {}
    // A copy of text, cut to size - 1 characters.
    SecretText(const char *text, size_t size) : SecretText(size) { lstrcpynA(text_, text, (int)size_); }
    // A copy of the whole text.
    SecretText(const char *text) : SecretText(text, strlen(text) + 1) {}
    SecretText(const SecretText &other) : SecretText(other.Text(), other.size_ > 0 ? other.size_ : 1) {}
    SecretText(SecretText &&other) noexcept { Swap(other); }
    SecretText &operator=(SecretText other) noexcept
    {
        Swap(other);
        return *this;
    }
    // Leaves only zeros behind: the text, and this object's own fields.
    ~SecretText()
    {
        if (text_ != nullptr) {
            SecureZeroMemory(text_, size_);
            delete[] text_;
        }
        SecureZeroMemory(this, sizeof(*this));
    }

    const char *Text() const { return text_ != nullptr ? text_ : ""; }
    size_t Length() const { return strlen(Text()); }
    bool IsEmpty() const { return Text()[0] == '\0'; }
    // The block itself, Size() bytes, for a call that writes the text in place.
    char *Buffer() { return text_; }
    size_t Size() const { return size_; }

private:
    void Swap(SecretText &other) noexcept
    {
        std::swap(text_, other.text_);
        std::swap(size_, other.size_);
    }

    char *text_ = nullptr;
    size_t size_ = 0;
};
