#pragma once

#include <sys/types.h>

// What a process has resident, in MB, as the kernel counts it: this process
// unless another is named; 0 once the process is gone.
double residentMegabytes(pid_t process = 0);
