// Input events as the platform layer's message pump hands them over.
#pragma once

union SDL_Event;

namespace TAVELOR::platform {

// Takes mouse motion, wheel and button presses into the sums the next mouse read reports.
void NoteMouseEvent(const SDL_Event& event);

}  // namespace TAVELOR::platform
