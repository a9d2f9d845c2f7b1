// Part runners for tests: the parts one after another on the calling thread,
// in their order or the reverse, and the host's spare cores.
#pragma once

#include "dsp/part_runner.h"
#include "host/kit/spare_cores.h"

inline const PartRunner IN_ORDER_PARTS{nullptr,
                                       [](void*, int parts, void (*job)(void*, int), void* jobContext) {
                                         for (int part = 0; part < parts; ++part) job(jobContext, part);
                                       }};

inline const PartRunner REVERSED_PARTS{nullptr,
                                       [](void*, int parts, void (*job)(void*, int), void* jobContext) {
                                         for (int part = parts; part-- > 0;) job(jobContext, part);
                                       }};
