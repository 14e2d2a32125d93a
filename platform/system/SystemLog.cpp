#include "platform/system/SystemLog.h"

#include <cstdio>
#include <string>
#include <syslog.h>

void systemLog(std::string_view message)
{
    static const bool opened = [] {
        openlog("ferlow", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
    const std::string line(message);
    syslog(LOG_NOTICE, "%s", line.c_str());
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}
