#pragma once

// The fixed-function OpenGL 1.x API with the ARB multitexture entry points
// and GLU. Mesa's libGL exports glActiveTextureARB and
// glClientActiveTextureARB directly, so no loader is needed.
#include <GL/gl.h>
#include <GL/glu.h>
