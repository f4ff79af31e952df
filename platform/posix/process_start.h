// What the runtime start-up of each program does on Linux before the
// program's own code runs: start.cpp for the window program, console_start.cpp
// for the terminal program.
#pragma once

namespace koru::posix {

// Gives every closed standard descriptor (0, 1, 2) /dev/null, and makes a
// write past the file-size limit (ulimit -f) fail with EFBIG, as a full disk
// does, instead of killing the process.
void PrepareProcess();

}  // namespace koru::posix
