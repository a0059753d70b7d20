/* Preloaded into sennick by the end-to-end tests so that the shipped binary,
   with its fixed framework path, loads the library named by
   SENNICK_TEST_FRAMEWORK instead. Every other load reaches the real loader
   unchanged. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <string.h>

static const char frameworkPath[] = "/System/Library/PrivateFrameworks/TCC.framework/Versions/A/TCC";

void* dlopen(const char* path, int mode) {
    void* (*realOpen)(const char*, int) = (void* (*)(const char*, int))dlsym(RTLD_NEXT, "dlopen");
    const char* standIn = getenv("SENNICK_TEST_FRAMEWORK");
    if (path != NULL && standIn != NULL && strcmp(path, frameworkPath) == 0) {
        path = standIn;
    }
    return realOpen(path, mode);
}
