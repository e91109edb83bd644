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
#define TV_HAVE_FLOW 1

// The speaker encoder and the prompt encoder join when their headers do.
#if __has_include("nn/spkenc.h")
#include "nn/spkenc.h"
#define TV_HAVE_WAVLM 1
#endif
#if __has_include("nn/prompt.h")
#include "nn/prompt.h"
#define TV_HAVE_PROMPT 1
#endif
