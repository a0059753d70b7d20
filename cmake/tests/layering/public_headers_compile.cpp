// What a program that links the rules may include: their startup and the platform's
// contract.
#include "observer/core/startup.h"
#include "observer/platform/process_control.h"
#include "observer/platform/run_loop.h"
