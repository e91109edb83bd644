// Writes a reading director file: the development director (neutral prosody,
// ordinary pauses) or one with seeded weights in any shape, for tests.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "api/director.h"
#include "runtime/error.h"

static int usage(void) {
    fprintf(stderr,
            "usage: tovan-mkdirector OUT.bin [--dev]\n"
            "       tovan-mkdirector OUT.bin --seed N [--version 1|2] [--tokens A] [--width B]\n"
            "                        [--hidden H] [--context K] [--cal]\n"
            "  --dev      the development director (the default)\n"
            "  --seed N   seeded weights; defaults: version 2, A 16384, B 16, H 16, K 4\n");
    return 2;
}

static bool number(const char *s, long long lo, long long hi, long long *out) {
    char *end;
    long long v = strtoll(s, &end, 10);
    if (!*s || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

int main(int argc, char **argv) {
    if (argc < 2 || argv[1][0] == '-') return usage();
    const char *out = argv[1];
    bool seeded = false, cal = false;
    long long seed = 0, version = 2, A = TV_DIR_TOKEN_IDS, B = 16, H = 16, K = 4;
    bool k_given = false;
    for (int i = 2; i < argc; i++) {
        const char *a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : "";
        bool ok = true;
        if (!strcmp(a, "--dev")) seeded = false;
        else if (!strcmp(a, "--cal")) cal = true;
        else if (!strcmp(a, "--seed")) ok = number(v, 0, (1LL << 62), &seed), seeded = true, i++;
        else if (!strcmp(a, "--version")) ok = number(v, 1, 2, &version), i++;
        else if (!strcmp(a, "--tokens")) ok = number(v, 0, 1 << 20, &A), i++;
        else if (!strcmp(a, "--width")) ok = number(v, 0, TV_DIR_MAX_WIDTH, &B), i++;
        else if (!strcmp(a, "--hidden")) ok = number(v, 0, TV_DIR_MAX_WIDTH, &H), i++;
        else if (!strcmp(a, "--context")) ok = number(v, 0, TV_DIR_MAX_WIDTH, &K), k_given = true, i++;
        else ok = false;
        if (!ok) {
            fprintf(stderr, "tovan-mkdirector: bad argument %s\n", a);
            return usage();
        }
    }
    int32_t rc;
    if (!seeded) {
        rc = tv_director_write_dev(out);
    } else {
        if (version == 1) {
            if (k_given && K != 0) {
                fprintf(stderr, "tovan-mkdirector: a version 1 file has no context\n");
                return 2;
            }
            K = 0;
        }
        tv_director_arrays *d = tv_director_arrays_new((uint32_t)version, (int32_t)A, (int32_t)B,
                                                       (int32_t)H, (int32_t)K);
        rc = -1;
        if (d) {
            tv_director_arrays_seed(d, (uint64_t)seed, cal);
            rc = tv_director_save(d, out);
            tv_director_arrays_free(d);
        }
    }
    if (rc != 0) {
        fprintf(stderr, "tovan-mkdirector: %s\n", tv_geterr());
        return 1;
    }
    return 0;
}
