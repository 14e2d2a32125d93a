#include "platform/system/SystemLog.h"

#include <cstdio>
#include <string>
#include <syslog.h>

namespace {

void openSystemLog()
{
    static const bool opened = [] {
        openlog("ferlow", LOG_PID, LOG_USER);
        return true;
    }();
    (void)opened;
}

} // namespace

void detailLog(std::string_view message)
{
    openSystemLog();
    const std::string line(message);
    syslog(LOG_INFO, "%s", line.c_str());
}

void systemLog(std::string_view message)
{
    openSystemLog();
    const std::string line(message);
    syslog(LOG_NOTICE, "%s", line.c_str());
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}
