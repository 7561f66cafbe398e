// Configuration ids waiting to run, oldest first, each at most once. Window thread only.
#pragma once
#include <stdint.h>

struct RunQueue {
    int32_t *ids;
    int32_t count;
};

extern RunQueue runQueue;

int IsRunQueued(int id);
// Appends id unless it is queued already; returns 1 when it was, else the new count.
int QueueRun(int id);
// Takes the head off; 0 when the queue is empty.
int TakeQueueHead(int *id);
void FreeRunQueue();
