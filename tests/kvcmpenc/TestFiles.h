// Scratch folders and whole-file reads and writes for the library's tests.
#pragma once
#include <string>

// A fresh folder under the temporary folder, deleted with everything in it at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const char *tag);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    // The folder's path, ending with "\".
    const std::string &Path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + name; }

private:
    std::string path_;
};

bool WriteWholeFile(const std::string &path, const std::string &bytes);
bool ReadWholeFile(const std::string &path, std::string *bytes);
bool FileExists(const std::string &path);
// Bytes that Deflate cannot shrink, from a fixed seed.
std::string MakeNoise(size_t length, unsigned seed);
// Lines of words that Deflate shrinks well, from a fixed seed.
std::string MakeText(size_t length, unsigned seed);
// How many files lie directly in a folder (sub-folders not counted).
int CountFiles(const std::string &folder);
// The parts "<archive>.001", ".002", ... joined in order; empty when there is none.
std::string JoinParts(const std::string &archive);
