// The daemon reports results as SANE_Status numbers, plus negative transfer errors of its own.
#pragma once

#include <sane/sane.h>

inline SANE_Status VornStatusOfResult(int result)
{
    if (result < SANE_STATUS_GOOD || result > SANE_STATUS_ACCESS_DENIED)
        return SANE_STATUS_IO_ERROR;
    return static_cast<SANE_Status>(result);
}
