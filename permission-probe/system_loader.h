// The probe's operations bound to the real dynamic loader and standard streams.
#pragma once

#include "probe.h"

namespace sennick {

LoaderOps systemLoaderOps();

}  // namespace sennick
