#pragma once

#include "platform/display/XRandRConfiguration.h"

#include <optional>
#include <string>
#include <string_view>
#include <variant>

// What Ferlow tells its display guardian over their socket: one text line per
// message, so a stuck guardian can be understood with strace.
//
//   layout <width> <height> <width-mm> <height-mm> <crtc-count>
//          then for each CRTC: <crtc> <mode> <x> <y> <rotation>
//                              <output-count> <outputs...>
//                             the whole layout before the first switch
//   set <output> <mode>       the mode Ferlow is switching the output to
//   release                   the displays are back; nothing left to guard
//
// The guardian answers "ready" once, when it runs on its own.
namespace DisplayGuardianProtocol {

struct ModeSet {
    RROutput output = None;
    RRMode mode = None;

    bool operator==(const ModeSet&) const = default;
};

struct Release {
    bool operator==(const Release&) const = default;
};

using Message = std::variant<Layout, ModeSet, Release>;

inline constexpr std::string_view kReady = "ready";

// One line, ending in '\n'.
std::string encode(const Message& message);
// A line without its '\n'; nothing for a line that is not a whole message.
std::optional<Message> decode(std::string_view line);

} // namespace DisplayGuardianProtocol
