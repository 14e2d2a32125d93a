#pragma once

// What this process has resident, in MB, as the kernel counts it.
double residentMegabytes();
