#include "unit/lower.h"

#include "unit/upper.h"

int lower(void) { return upper_value; }
