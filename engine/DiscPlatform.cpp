#include "DiscPlatform.h"

static DiscPlatform *installedPlatform = nullptr;

DiscPlatform *SetDiscPlatform(DiscPlatform *platform)
{
    return __atomic_exchange_n(&installedPlatform, platform, __ATOMIC_ACQ_REL);
}

DiscPlatform &CurrentDiscPlatform()
{
    DiscPlatform *platform = __atomic_load_n(&installedPlatform, __ATOMIC_ACQUIRE);
    return platform != nullptr ? *platform : RealDiscPlatform();
}
