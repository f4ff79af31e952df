// The benchmark worker's stand-in, linked in place of the engine's
// BenchThreadProc (whose library member is then never pulled in): the paint
// can start it as often as a test likes, and no benchmark runs.
#pragma once

namespace fake {

// How many times the stand-in has run so far.
int WorkerStarts();

// Waits up to 5 s for the count to reach `count`; whether it did. A test
// that paints a first screen waits for its worker, so that a later test
// counts only its own.
bool WaitForWorkerStarts(int count);

}  // namespace fake
