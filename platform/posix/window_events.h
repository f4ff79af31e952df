// SDL's events for the window side: acted on at once or queued as input.
#pragma once

union SDL_Event;

namespace koru::posix {

// An event there is no memory for is dropped.
void HandleSdlEvent(const SDL_Event& event) noexcept;

}  // namespace koru::posix
