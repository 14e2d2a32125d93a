#pragma once

#include <optional>

// The swap interval of the current OpenGL context's drawable: 1 makes each
// buffer swap wait for the display's refresh. Set through GLX's swap-control
// extensions (EXT, then MESA, then SGI); where none exists (Xvfb, some
// remote displays) nothing can be set and callers carry on.
namespace SwapInterval {

// The current interval, or nothing when it cannot be read.
std::optional<int> current();

// Whether the interval could be set.
bool setCurrent(int interval);

} // namespace SwapInterval
