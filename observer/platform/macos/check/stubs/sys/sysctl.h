// Declarations of the process-table part of macOS's <sys/sysctl.h> that this project calls,
// written from the public kernel headers' documentation for type checks without an SDK.
// The records hold only the fields read here; the real ones have many more, so code must
// take their sizes with sizeof and never assume them.
#pragma once

#include <stddef.h>
#include <sys/types.h>

#ifndef MAXCOMLEN
#define MAXCOMLEN 16
#endif

#define CTL_KERN 1
#define KERN_PROC 14
#define KERN_PROC_PID 1

struct extern_proc {
    int p_flag;
    char p_stat;
    pid_t p_pid;
    char p_comm[MAXCOMLEN + 1];
};

struct eproc {
    pid_t e_ppid;
    pid_t e_pgid;
};

struct kinfo_proc {
    struct extern_proc kp_proc;
    struct eproc kp_eproc;
};

#ifdef __cplusplus
extern "C" {
#endif

int sysctl(int* name, u_int namelen, void* oldp, size_t* oldlenp, void* newp, size_t newlen);

#ifdef __cplusplus
}
#endif
