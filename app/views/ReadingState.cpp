#include "ReadingState.h"

// The moc output of ReadingState is compiled with this unit.
