#pragma once

#include <QSurfaceFormat>
#include <cstdint>
#include <memory>
#include <vector>

// Attribute codes of a pixel-format request: a list of 32-bit words, each
// code followed by its value where it takes one, ended by 0.
namespace PixelFormatAttribute {
inline constexpr std::uint32_t AllRenderers = 1;
inline constexpr std::uint32_t DoubleBuffer = 5;
inline constexpr std::uint32_t ColorSize = 8; // takes a value
inline constexpr std::uint32_t DepthSize = 12; // takes a value
inline constexpr std::uint32_t SampleBuffers = 55; // takes a value
inline constexpr std::uint32_t Samples = 56; // takes a value
inline constexpr std::uint32_t Multisample = 59;
inline constexpr std::uint32_t NoRecovery = 72;
inline constexpr std::uint32_t Accelerated = 73;
inline constexpr std::uint32_t ScreenMask = 84; // takes a value
inline constexpr std::uint32_t AllowOfflineRenderers = 96;
} // namespace PixelFormatAttribute

// A pixel format made from an attribute list, translated to Qt's surface
// format (compatibility profile, so the fixed-function pipeline is there).
//
// Colour size, depth size, double buffering and the sample buffers carry
// over. NoRecovery, Accelerated, AllRenderers, AllowOfflineRenderers,
// Multisample and ScreenMask have no counterpart: Qt and GLX cannot be asked
// for "hardware only" (on a machine with Mesa's llvmpipe alone that would
// mean no picture at all), and a window's context always serves the screen
// the window is on.
//
// On X11 the request is checked against the server's GLX frame-buffer
// configurations: a list that no configuration meets yields no pixel format.
// A list with a code this program does not know is refused as well.
class PixelFormat {
public:
    static std::unique_ptr<PixelFormat> fromAttributes(const std::vector<std::uint32_t>& attributes);
    // The same, and where no configuration meets a multisampled request
    // (Mesa's softpipe, some virtual machines offer none), the same request
    // without multisampling: a picture without antialiasing rather than none.
    // The system log says so the first time in the run.
    static std::unique_ptr<PixelFormat> fromAttributesOrSingleSampled(const std::vector<std::uint32_t>& attributes);

    const QSurfaceFormat& surfaceFormat() const { return mFormat; }
    // The format of the window surface itself: the same without samples,
    // since contexts of this format draw multisampled frames offscreen (see
    // OpenGLContext).
    QSurfaceFormat drawableFormat() const;

private:
    explicit PixelFormat(QSurfaceFormat format);

    QSurfaceFormat mFormat;
};
