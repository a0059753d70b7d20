// The rules' state is theirs: a program only starts them.
#include "observer/core/state.h"
