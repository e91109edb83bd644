// Director plans to what synthesis reads: five control values, their control
// text and the pause after the sentence.
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "api/director.h"

namespace {

// Plans come from a file's weights: a NaN or infinite value must never reach
// the clamps, the formatting or an integer conversion.
float finite_or_zero(float v) { return isfinite(v) ? v : 0.0f; }

float clamp3(float v) {
    if (isnan(v)) return 0.0f;
    return v < -3.0f ? -3.0f : v > 3.0f ? 3.0f : v;
}

const char *const NAMES[5] = {"rate", "loud", "f0_med", "f0_iqr", "f0_end"};

}  // namespace

extern "C" void tovantts_plan_controls(const tovantts_director *d, const float *plan,
                                       float *out, float strength) {
    if (!out) return;
    for (int k = 0; k < 5; k++) out[k] = 0.0f;
    if (!plan) return;
    float s = finite_or_zero(strength);
    float x[5];
    for (int j = 0; j < 4; j++) x[j] = finite_or_zero(plan[j]) * s;
    x[4] = 0.8f * finite_or_zero(plan[4]) * s;
    for (int k = 0; k < 5; k++) {
        float y = x[k];
        if (d && d->has_cal) {
            y = 0.0f;
            for (int j = 0; j < 5; j++) y += x[j] * d->cal[5 * j + k];
        }
        out[k] = clamp3(y);
    }
}

extern "C" int32_t tovantts_plan_ctrl(const tovantts_director *d, const float *plan, char *out,
                                      size_t outlen, float strength) {
    if (!out || outlen == 0) return 1;
    float v[5];
    tovantts_plan_controls(d, plan, v, strength);
    char text[160];
    size_t n = 0;
    for (int k = 0; k < 5; k++) {
        // Half away from zero to hundredths; values are within [-3, 3].
        int c = (int)floor(fabs((double)v[k]) * 100.0 + 0.5);
        const char *sign = v[k] < 0 && c > 0 ? "-" : "";
        n += (size_t)snprintf(text + n, sizeof text - n, "%s%s=%s%d.%02d", k ? "," : "",
                              NAMES[k], sign, c / 100, c % 100);
    }
    if (n + 1 > outlen) {
        out[0] = 0;
        return 1;
    }
    memcpy(out, text, n + 1);
    return 0;
}

extern "C" int32_t tovantts_plan_pause_ms(const float *plan, float pace) {
    if (!plan) return 0;
    double q = pace > 0.25f ? (double)pace : 1.0;
    double ms = (exp((double)finite_or_zero(plan[5])) - 1.0) * 1000.0 / q;
    // NaN here (an infinite pause at an infinite pace) counts as the shortest.
    if (!(ms >= 80.0)) return 80;
    if (ms > 1500.0) return 1500;
    return (int32_t)(ms + 0.5);
}
