// quorvel-replay builds worlds through the simulated platform's public header, not its state.
#include "observer/platform/simulated/simulation.h"
