#include "tests/support/ResidentMemory.h"

#include <fstream>
#include <string>
#include <unistd.h>

double residentMegabytes(pid_t process)
{
    std::ifstream statm("/proc/" + (process ? std::to_string(process) : std::string("self")) + "/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}
