#include "AllocationSeam.h"

#include <stdlib.h>

static int allocationsUntilFailure = 0;

static bool ShouldFail()
{
    if (allocationsUntilFailure <= 0)
        return false;
    return --allocationsUntilFailure == 0;
}

void FailAllocationForTesting(int nth)
{
    allocationsUntilFailure = nth;
}

void *AllocateBlock(size_t size)
{
    return ShouldFail() ? nullptr : malloc(size);
}

void *AllocateZeroedBlock(size_t count, size_t size)
{
    return ShouldFail() ? nullptr : calloc(count, size);
}

void *ReallocateBlock(void *block, size_t size)
{
    return ShouldFail() ? nullptr : realloc(block, size);
}
