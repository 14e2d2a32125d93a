#pragma once

#include <string_view>

// Writes one line to the system log (syslog, as "ferlow") and the same line to
// standard error, where a user starting Ferlow from a terminal sees it.
void systemLog(std::string_view message);
// One line to the system log alone: a detail the terminal is spared, such as
// a decoder's own complaint about a file whose failure the user is told in
// Ferlow's words.
void detailLog(std::string_view message);
