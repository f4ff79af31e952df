// What the children measuring the runs say on stderr, passed on to this
// process's own stderr, each line once: a run after the first would only
// say again what the first said (a scratch file that cannot be written, a
// full disk). The line goes out over the erased progress line, which the
// next record draws again.
#pragma once

#include <cstddef>

// Passes on the whole lines in `bytes`, keeping a last partial one for the
// next call; a line too long to keep goes out in pieces, every time.
void PassOnChildMessages(const char* bytes, std::size_t size);

// A child has ended: what it left without a line end goes out too.
void EndChildMessages();
