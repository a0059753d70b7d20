// The umbrella header of the CoreGraphics declarations used here; see CGWindow.h.
#pragma once

#include <CoreGraphics/CGWindow.h>
