// Writes the front end's unicode.bin from a Unicode character database.
//   tovan-mkunicode [-d <unicode-data dir>] <out file>
// The directory defaults to /usr/share/unicode (Debian's unicode-data).
#include <stdio.h>
#include <string.h>

#include "front/ucdgen.h"
#include "runtime/error.h"

int main(int argc, char **argv) {
  const char *dir = "/usr/share/unicode";
  const char *out = NULL;
  for (int i = 1; i < argc; i++) {
    if (!strcmp(argv[i], "-d") && i + 1 < argc) dir = argv[++i];
    else if (!out && argv[i][0] != '-') out = argv[i];
    else out = NULL, i = argc;
  }
  if (!out) {
    fprintf(stderr, "usage: tovan-mkunicode [-d <unicode-data dir>] <out file>\n");
    return 2;
  }
  if (tv_ucd_build(dir, out) != 0) {
    fprintf(stderr, "tovan-mkunicode: %s\n", tv_geterr());
    return 1;
  }
  return 0;
}
