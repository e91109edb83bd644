// What the engine handle and rendering use of the text front end and of the
// full model's networks.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "runtime/json.h"
#include "runtime/pool.h"
#include "runtime/weights.h"

#include "front/frontend.h"
#include "front/markup.h"
#include "nn/flow.h"
#include "nn/prompt.h"
#include "nn/spkenc.h"
