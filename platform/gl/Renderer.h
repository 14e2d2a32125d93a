#pragma once

#include <string>
#include <string_view>

// Which renderer draws. A software rasteriser (Mesa's llvmpipe, softpipe,
// swrast) takes every extra sample and texel fetch on the CPU, so what is
// nearly free on a GPU, multisampling and anisotropic filtering, is left off
// there unless asked for.
bool isSoftwareRenderer(std::string_view rendererName);

// What the current context's renderer calls itself (GL_RENDERER); empty
// without a current context.
std::string currentRendererName();

// What the renderer of this process's contexts calls itself, asked once of
// a context made for the question on an offscreen surface; empty when none
// can be made. Leaves the context that was current, current again.
std::string defaultRendererName();
