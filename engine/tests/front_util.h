// Helpers shared by the front-end text tests.
#pragma once

#include <stdlib.h>

#include <string>
#include <vector>

#include "front/sb.h"
#include "front/u32s.h"
#include "front/ucd.h"
#include "front/ucdgen.h"
#include "tmpdir.h"

inline std::vector<uint32_t> U(const std::string &s) {
  uint32_t fl = 0;
  u32s t = {};
  u32s_utf8(&fl, &t, s.data(), s.size());
  std::vector<uint32_t> v(t.p, t.p + t.n);
  u32s_free(&t);
  return v;
}

inline std::string S(const uint32_t *p, int32_t n) {
  uint32_t fl = 0;
  sb b = {};
  sb_utf8(&fl, &b, p, n);
  std::string s(sb_cstr(&b), (size_t)b.n);
  sb_free(&b);
  return s;
}
inline std::string S(const u32s &t) { return S(t.p, t.n); }

// The table built from the system's Unicode database (Debian's unicode-data),
// once per process; NULL when that database is not installed.
inline const ucd *real_ucd() {
  static ucd table;
  static int state = 0; // 0 not tried, 1 loaded, -1 unavailable
  if (state == 0) {
    TmpDir dir;
    std::string path = dir.file("unicode.bin");
    state = tv_ucd_build("/usr/share/unicode", path.c_str()) == 0 &&
                    ucd_load(&table, path.c_str()) == 0
                ? 1
                : -1;
  }
  return state == 1 ? &table : nullptr;
}

inline std::string data_path(const char *name) {
  const char *d = getenv("TOVANTTS_TEST_DATA");
  return std::string(d ? d : "engine/tests/data") + "/" + name;
}
