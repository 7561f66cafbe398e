#include "RemoteSteps.h"

static RemoteSteps defaultSteps;
static RemoteSteps *installedSteps = &defaultSteps;

void SetRemoteSteps(RemoteSteps *steps)
{
    __atomic_store_n(&installedSteps, steps != nullptr ? steps : &defaultSteps, __ATOMIC_RELEASE);
}

RemoteSteps &CurrentRemoteSteps()
{
    return *__atomic_load_n(&installedSteps, __ATOMIC_ACQUIRE);
}
