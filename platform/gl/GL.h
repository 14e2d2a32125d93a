#pragma once

// The fixed-function OpenGL 1.x API with the ARB multitexture entry points
// and GLU. The program links libGL itself (not GLVND's libOpenGL), which
// exports glActiveTextureARB and glClientActiveTextureARB by name, so no
// loader is needed.
#include <GL/gl.h>
#include <GL/glu.h>
