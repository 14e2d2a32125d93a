#pragma once

struct CommandLine;

// --save-picture and --export-video: the picture or video drawn offscreen
// with the user's settings and terrain, no window shown, progress on
// standard error (one line that updates on a terminal, a line every tenth
// otherwise). Returns the exit status: 0 once the file is written, else 1
// after one line that says why. SIGINT, SIGTERM and SIGHUP cancel a picture
// or a video under way, which leaves no file.
int runHeadless(const CommandLine& line, int argc, char** argv);
