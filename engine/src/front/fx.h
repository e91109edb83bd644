// The failure flag of one front-end operation.
//
// Every appending and matching operation of the front end takes the caller's
// flag (a u32, 0 at the start) as its first argument. The first failure sets
// it and leaves its message in the engine's error text; later failures keep
// that first message. Appending operations do not look at the flag before
// working: callers test it after each step and stop.
#pragma once

#include <stdint.h>

#include "runtime/error.h"

/* When *flag is 0: sets it to 1 and stores the formatted message (at most
   1023 bytes) as the error text. When it is already set: does nothing. */
void fx_fail(uint32_t *flag, const char *fmt, ...) TV_PRINTF(2, 3);

/* The message every failed growth reports. */
#define FX_NOMEM "MemoryError: out of memory"
