/* The yardstick of tools/loop_benchmark: the measured loops' bodies as
 * plainly as they can be written (reference_loops_*.S), each with a plain
 * 32-bit counter and no carry, in a page of their own laid out as the
 * measured page, run on the same stack offset and with the same tick read.
 * What the product's loops cost beyond them is the cost of the product's
 * additions: the carry test and the record the window thread reads. */
#ifndef KORU_REFERENCE_LOOPS_H
#define KORU_REFERENCE_LOOPS_H

/* Short enough that a 32-bit count cannot wrap at 0.4 ns a loop. */
#define REFERENCE_LOOP_MS 2000

#ifdef __cplusplus
#include "measured_loops.h"

extern "C" void ReferenceIntegerLoop(DWORD start, TickReader readTick);
extern "C" void ReferenceRealLoop(DWORD start, TickReader readTick);
/* The counter and the tick read alone: what one tick read costs, with the
 * loop around it. */
extern "C" void ReferenceTickReads(DWORD start, TickReader readTick);
#endif

#endif
