// Reaches down, while lower.cpp reaches up: a circle of units.
#pragma once
#include "unit/lower.h"
static const int upper_value = 1;
