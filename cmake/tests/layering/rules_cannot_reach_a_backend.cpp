// The rules know the platform only by its contract, never a backend's insides.
#include "observer/platform/linux/pulse_connection.h"
