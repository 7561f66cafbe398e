// A whole file's bytes, for tests that compare what a program wrote.
#pragma once
#include <stdio.h>

#include <string>

// Empty when the file does not exist or cannot be opened.
inline std::string ReadWholeFile(const std::string &path)
{
    std::string content;
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr)
        return content;
    char chunk[4096];
    size_t read;
    while ((read = fread(chunk, 1, sizeof(chunk), file)) > 0)
        content.append(chunk, read);
    fclose(file);
    return content;
}
