// Answers the program's message boxes in tests and records what they said.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "MessageBoxSeam.h"

struct RecordedBox {
    std::string text;
    std::string caption;
    UINT type;
};

// Records every message box and answers each with `answer`.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDOK)
    {
        current = this;
        this->answer = answer;
        SetMessageBoxHandler(&MessageBoxRecorder::Record);
    }
    ~MessageBoxRecorder()
    {
        SetMessageBoxHandler(nullptr);
        current = nullptr;
    }
    std::vector<RecordedBox> boxes;
    int answer;

private:
    static int Record(HWND, const char *text, const char *caption, UINT type)
    {
        current->boxes.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "", type});
        return current->answer;
    }
    static inline MessageBoxRecorder *current = nullptr;
};
