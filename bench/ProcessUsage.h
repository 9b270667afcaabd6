#pragma once

// CPU time and memory of this process and the machine, from the kernel's own
// accounts.

// User and system time of every thread of this process, in ms.
double ProcessCpuMs();
// User and system time of the children that ended and were reaped, in ms.
double ReapedChildrenCpuMs();
// User and system time of the calling thread, in ms.
double ThreadCpuMs();

// The whole machine's CPU time since boot, summed over its processors, in ms:
// what every process used, and what the hypervisor gave to others (steal).
struct MachineCpu {
    double busyMs = 0;
    double stealMs = 0;
};
MachineCpu MachineCpuMs();

// Resident memory now (VmRSS) and its peak (VmHWM) since the last ResetPeakRss, in kB.
long CurrentRssKb();
long PeakRssKb();
// Lowers the peak to the current resident size.
void ResetPeakRss();
