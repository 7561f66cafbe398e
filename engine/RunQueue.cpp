#include "RunQueue.h"

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "ErrorReport.h"
#include "resource.h"

RunQueue runQueue = {nullptr, 0};

int IsRunQueued(int id)
{
    for (int i = 0; i < runQueue.count; ++i)
        if (runQueue.ids[i] == id)
            return 1;
    return 0;
}

int QueueRun(int id)
{
    if (IsRunQueued(id))
        return 1;
    int32_t *grown = static_cast<int32_t *>(realloc(runQueue.ids, sizeof(int32_t) * (size_t)(runQueue.count + 1)));
    if (grown == nullptr) {
        // Only the new id is lost: the ids already waiting stay queued.
        MessageBoxFromResource(GetDesktopWindow(), IDS_OUT_OF_MEMORY, MB_ICONWARNING);
        return runQueue.count;
    }
    runQueue.ids = grown;
    runQueue.ids[runQueue.count] = id;
    return ++runQueue.count;
}

int TakeQueueHead(int *id)
{
    if (runQueue.count <= 0)
        return 0;
    *id = runQueue.ids[0];
    --runQueue.count;
    memmove(runQueue.ids, runQueue.ids + 1, sizeof(int32_t) * (size_t)runQueue.count);
    return 1;
}

void FreeRunQueue()
{
    free(runQueue.ids);
    runQueue.ids = nullptr;
    runQueue.count = 0;
}
