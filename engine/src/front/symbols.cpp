#include "front/symbols.h"

#include <stdio.h>
#include <string.h>

#include "runtime/error.h"

namespace {

const char *const kPunct[] = {",", ".", "?", "!", ";", ":", "-"};
const char *const kPhones[] = {"AA", "AE", "AH", "AO", "AW", "AY", "B",  "CH", "D",  "DH",
                               "EH", "ER", "EY", "F",  "G",  "HH", "IH", "IY", "JH", "K",
                               "L",  "M",  "N",  "NG", "OW", "OY", "P",  "R",  "S",  "SH",
                               "T",  "TH", "UH", "UW", "V",  "W",  "Y",  "Z",  "ZH"};
const char *const kSounds[] = {"laugh", "cry",   "scream",   "yell",  "cheer",     "cough",  "sneeze",
                               "yawn",  "throat", "breath",  "sigh",  "sniff",     "dog",    "cat",
                               "bird",  "knock", "door",     "phone", "bell",      "horn",   "applause",
                               "glass", "siren", "footsteps", "typing", "thunder", "clock"};

bool is_vowel(const char *p) {
  char key[8];
  snprintf(key, sizeof key, " %s ", p);
  return strstr(" AA AE AH AO AW AY EH ER EY IH IY OW OY UH UW ", key) != NULL;
}

} // namespace

void sym_free(char **names) {
  for (int i = 0; i < TV_NSYM; i++) {
    tv_free(names[i]);
    names[i] = NULL;
  }
}

int sym_build(char **names, int32_t *sorted, int32_t reserved) {
  // Built into a roomy scratch list first, so a wrong count is reported, not
  // written past the table.
  enum { ROOM = 256 };
  char tmp[ROOM][24];
  int n = 0;
  auto add = [&](const char *s) {
    if (n < ROOM) snprintf(tmp[n], sizeof tmp[n], "%s", s);
    n++;
  };
  add("<pad>");
  add("<sp>");
  for (const char *p : kPunct) add(p);
  for (const char *p : kPhones) {
    if (is_vowel(p)) {
      for (int s = 0; s < 3; s++) {
        char v[8];
        snprintf(v, sizeof v, "%s%d", p, s);
        add(v);
      }
    } else {
      add(p);
    }
  }
  for (const char *w : kSounds) {
    char v[24];
    snprintf(v, sizeof v, "[%s]", w);
    add(v);
  }
  for (int32_t i = 0; i < reserved && n <= ROOM; i++) {
    char v[24];
    snprintf(v, sizeof v, "[reserved%d]", (int)i);
    add(v);
  }
  if (n != TV_NSYM) {
    tv_seterr("tovantts front: symbol table has %d entries", n);
    return -1;
  }
  for (int i = 0; i < TV_NSYM; i++) {
    names[i] = tv_strdup(tmp[i]);
    if (!names[i]) {
      sym_free(names);
      return -1;
    }
  }
  // Insertion sort of the ids by name.
  for (int i = 0; i < TV_NSYM; i++) {
    int32_t id = i;
    int j = i;
    while (j > 0 && strcmp(names[sorted[j - 1]], names[id]) > 0) {
      sorted[j] = sorted[j - 1];
      j--;
    }
    sorted[j] = id;
  }
  return 0;
}

int32_t sym_lookup(char *const *names, const int32_t *sorted, const char *name) {
  if (!name) return -1;
  int lo = 0, hi = TV_NSYM - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    int c = strcmp(names[sorted[mid]], name);
    if (c == 0) return sorted[mid];
    if (c < 0) lo = mid + 1;
    else hi = mid - 1;
  }
  return -1;
}
