// Benchmark peer (not a test): the least a ZIP archiver must do with a list of files, to
// measure kvcmpenc against. It reads every file of the list once, with CreateFileA and
// ReadFile, and does nothing with the bytes.
//   plain_reader <folder> <list file>
// The folder becomes the current folder, as the ZIP step makes it for kvcmpenc; the list holds
// one path a line relative to it. Prints "files=<read> failed=<failed> bytes=<total>
// seconds=<the reading's own time>"; exit code 1 when a file could not be read.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

namespace {

bool ReadList(const char *path, std::vector<std::string> *lines)
{
    FILE *file = fopen(path, "rb");
    if (!file)
        return false;
    std::string line;
    int c;
    while ((c = fgetc(file)) != EOF) {
        if (c == '\r')
            continue;
        if (c != '\n') {
            line += (char)c;
        } else if (!line.empty()) {
            lines->push_back(line);
            line.clear();
        }
    }
    if (!line.empty())
        lines->push_back(line);
    fclose(file);
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> lines;
    if (argc != 3 || !SetCurrentDirectoryA(argv[1]) || !ReadList(argv[2], &lines)) {
        fprintf(stderr, "usage: plain_reader <folder> <list file>\n");
        return 2;
    }
    static char buffer[1 << 16];
    long files = 0, failed = 0;
    unsigned long long bytes = 0;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (const std::string &line : lines) {
        HANDLE file = CreateFileA(line.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            failed++;
            continue;
        }
        DWORD got = 0;
        BOOL read;
        while ((read = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0)
            bytes += got;
        CloseHandle(file);
        read ? files++ : failed++;
    }
    QueryPerformanceCounter(&end);
    printf("files=%ld failed=%ld bytes=%llu seconds=%.3f\n", files, failed, bytes,
           (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart);
    return failed == 0 ? 0 : 1;
}
