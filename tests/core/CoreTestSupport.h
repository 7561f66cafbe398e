// Shared helpers of the core tests: a recorder that answers message boxes, a private
// temporary folder per test (ScratchFolder) and local times with their weekday (MakeTime).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "MessageBoxRecorder.h"
#include "ScratchFolder.h"
#include "TestTime.h"
