// Heap blocks of the configuration table and the store loader. Tests can make a chosen
// allocation fail, to check that every failure leaves the table whole.
#pragma once
#include <stddef.h>

void *AllocateBlock(size_t size);
void *AllocateZeroedBlock(size_t count, size_t size);
void *ReallocateBlock(void *block, size_t size);

// The nth allocation from now (1 = the next one) fails; 0 lets all succeed.
void FailAllocationForTesting(int nth);
