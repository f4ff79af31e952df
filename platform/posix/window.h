#pragma once
#include "user_state.h"
namespace koru::posix {
// Client size from the outer size, once the window manager reports borders.
void SettleOuterSize(Window& window);
}
