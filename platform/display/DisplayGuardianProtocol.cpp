#include "platform/display/DisplayGuardianProtocol.h"

#include <sstream>

namespace DisplayGuardianProtocol {

namespace {

constexpr std::string_view kLayout = "layout";
constexpr std::string_view kSet = "set";
constexpr std::string_view kRelease = "release";

// The most CRTCs a screen and outputs one CRTC can drive in any real
// configuration, with room to spare; they bound what a garbled line can make
// the guardian allocate.
constexpr std::size_t kMaxCrtcs = 256;
constexpr std::size_t kMaxOutputsPerCrtc = 64;

bool decodeCrtc(std::istream& in, CrtcSetting& crtc)
{
    std::size_t outputCount = 0;
    in >> crtc.crtc >> crtc.mode >> crtc.x >> crtc.y >> crtc.rotation >> outputCount;
    if (!in || outputCount > kMaxOutputsPerCrtc)
        return false;
    crtc.outputs.resize(outputCount);
    for (RROutput& output : crtc.outputs)
        in >> output;
    return static_cast<bool>(in);
}

std::optional<Message> decodeLayout(std::istream& in)
{
    Layout layout;
    ScreenSize& screen = layout.screen;
    std::size_t crtcCount = 0;
    in >> screen.width >> screen.height >> screen.widthMM >> screen.heightMM >> crtcCount;
    if (!in || crtcCount > kMaxCrtcs)
        return std::nullopt;
    layout.crtcs.resize(crtcCount);
    for (CrtcSetting& crtc : layout.crtcs) {
        if (!decodeCrtc(in, crtc))
            return std::nullopt;
    }
    return layout;
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

    void operator()(const Layout& layout) const
    {
        const ScreenSize& screen = layout.screen;
        out << kLayout << ' ' << screen.width << ' ' << screen.height << ' ' << screen.widthMM << ' '
            << screen.heightMM << ' ' << layout.crtcs.size();
        for (const CrtcSetting& crtc : layout.crtcs) {
            out << ' ' << crtc.crtc << ' ' << crtc.mode << ' ' << crtc.x << ' ' << crtc.y << ' ' << crtc.rotation << ' '
                << crtc.outputs.size();
            for (RROutput output : crtc.outputs)
                out << ' ' << output;
        }
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
    if (word == kLayout)
        message = decodeLayout(in);
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
