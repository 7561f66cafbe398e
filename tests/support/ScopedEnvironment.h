// Sets or (value null) clears an environment variable for one test's lifetime; the programs
// and libraries the test starts inherit it.
#pragma once
#include <windows.h>

#include <string>

class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const char *value) : name_(name) { SetEnvironmentVariableA(name, value); }
    ~ScopedEnvironment() { SetEnvironmentVariableA(name_.c_str(), nullptr); }
    ScopedEnvironment(const ScopedEnvironment &) = delete;
    ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
    std::string name_;
};
