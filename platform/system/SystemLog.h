#pragma once

#include <string_view>

// Writes one line to the system log (syslog, as "ferlow") and the same line to
// standard error, where a user starting Ferlow from a terminal sees it.
void systemLog(std::string_view message);
