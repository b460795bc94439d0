// Pools are nominal on every platform: one pool, and nothing is released
// when it is destroyed (blocks live until BlockFree or the process ends).
#include "base/platform.h"

int32_t PoolCreate(uint32_t sizeHint, uint32_t flags)
{
    (void)sizeHint;
    (void)flags;
    return 1;
}

int PoolDestroy(int32_t pool)
{
    (void)pool;
    return 1;
}
