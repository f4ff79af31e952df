/* Where the measured loops' memory lies, the same on every build: read by
 * the loops' assembly (measured_loops_*.S) and by bench_state.h, which
 * checks the C++ records against it.
 *
 * One page holds the run record and the work values, each field on a
 * 64-byte line of its own: the window thread's reads of one count never
 * take another's line from the worker, and a loop's stores never share a
 * line with anything another thread touches. While a loop runs, its stack
 * pointer sits at a fixed offset in its page too. So each loop touches the
 * same cache sets on every build: where a loop's data fell against its
 * stack and its tick moved its speed by a third, build by build.
 *
 * Plain macros, since the assembler reads them. */
#ifndef KORU_MEASURED_PAGE_H
#define KORU_MEASURED_PAGE_H

#define MEASURED_PAGE_SIZE 4096
#define MEASURED_LINE_SIZE 64

/* Offsets in the page: the run record's fields, then the work values. */
#define START_TICK_AT 0x000
#define CPU_LOOPS_AT 0x040
#define FPU_LOOPS_AT 0x080
#define SD_WRITES_AT 0x0C0
#define RUNNING_AT 0x100
#define INT_WORK_AT 0x140
#define REAL_WORK_AT 0x180

/* The stack pointer's offset in its page while a loop runs: clear of the
 * lines above and of the tick count's line at 0x320 (Windows keeps its tick
 * count there in the page it shares with every process; the Linux layer
 * publishes its own there too). */
#define LOOP_STACK_AT 0x800

/* Phase deadlines in ms, all counted from the one start reading. */
#define INT_PHASE_END 5000
#define REAL_PHASE_END 10000
#define STORAGE_PHASE_END 15000

#endif
