#include "platform/display/DisplayGuardianProtocol.h"

#include <sstream>

namespace DisplayGuardianProtocol {

namespace {

constexpr std::string_view kSave = "save";
constexpr std::string_view kSet = "set";
constexpr std::string_view kRelease = "release";

// The most outputs one CRTC can drive in any real configuration, with room to
// spare; bounds what a garbled line can make the guardian allocate.
constexpr std::size_t kMaxOutputsPerCrtc = 64;

std::optional<Message> decodeSave(std::istream& in)
{
    SavedDisplay saved;
    CrtcSetting& crtc = saved.original;
    ScreenSize& screen = saved.screen;
    std::size_t outputCount = 0;
    in >> saved.output >> crtc.crtc >> crtc.mode >> crtc.x >> crtc.y >> crtc.rotation >> screen.width >> screen.height
        >> screen.widthMM >> screen.heightMM >> outputCount;
    if (!in || outputCount > kMaxOutputsPerCrtc)
        return std::nullopt;
    crtc.outputs.resize(outputCount);
    for (RROutput& output : crtc.outputs)
        in >> output;
    if (!in)
        return std::nullopt;
    return saved;
}

std::optional<Message> decodeSet(std::istream& in)
{
    ModeSet set;
    in >> set.output >> set.mode;
    if (!in)
        return std::nullopt;
    return set;
}

struct Encoder {
    std::ostringstream& out;

    void operator()(const SavedDisplay& saved) const
    {
        const CrtcSetting& crtc = saved.original;
        const ScreenSize& screen = saved.screen;
        out << kSave << ' ' << saved.output << ' ' << crtc.crtc << ' ' << crtc.mode << ' ' << crtc.x << ' ' << crtc.y
            << ' ' << crtc.rotation << ' ' << screen.width << ' ' << screen.height << ' ' << screen.widthMM << ' '
            << screen.heightMM << ' ' << crtc.outputs.size();
        for (RROutput output : crtc.outputs)
            out << ' ' << output;
    }
    void operator()(const ModeSet& set) const { out << kSet << ' ' << set.output << ' ' << set.mode; }
    void operator()(const Release&) const { out << kRelease; }
};

} // namespace

std::string encode(const Message& message)
{
    std::ostringstream out;
    std::visit(Encoder{out}, message);
    out << '\n';
    return out.str();
}

std::optional<Message> decode(std::string_view line)
{
    std::istringstream in{std::string(line)};
    std::string word;
    in >> word;
    std::optional<Message> message;
    if (word == kSave)
        message = decodeSave(in);
    else if (word == kSet)
        message = decodeSet(in);
    else if (word == kRelease)
        message = Release{};
    // Anything after the last field means the line is not one this guardian
    // understands; better to ignore it than to act on half of it.
    in >> std::ws;
    if (!in.eof())
        return std::nullopt;
    return message;
}

} // namespace DisplayGuardianProtocol
