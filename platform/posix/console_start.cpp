// The runtime start-up of the terminal program, koru-bench-cli: libc calls
// its main, as Windows' console runtime does, and this runs just before,
// as part of that start-up. The lines the platform layer writes on stderr
// then name koru-bench-cli, the program the user ran.
#include "process_start.h"
#include "stderr_line.h"

namespace {

[[gnu::constructor]] void StartConsoleProgram()
{
    koru::posix::PrepareProcess();
    koru::posix::stderrLineProgram = "koru-bench-cli";
}

}  // namespace
