// Helpers shared by the front-end text tests.
#pragma once

#include <stdlib.h>

#include <string>
#include <vector>

#include "front/sb.h"
#include "front/u32s.h"
#include "front/ucd.h"
#include "front/ucdgen.h"
#include "TempDir.h"
#include "TestPaths.h"

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
    tovan::test::TempDir dir;
    std::string path = dir.file("unicode.bin");
    state = tv_ucd_build("/usr/share/unicode", path.c_str()) == 0 &&
                    ucd_load(&table, path.c_str()) == 0
                ? 1
                : -1;
  }
  return state == 1 ? &table : nullptr;
}

inline std::string data_path(const char *name) {
  return tovan::test::testData(name).string();
}

// A unicode.bin made by hand, section by section.
struct UcdFile {
  std::vector<std::pair<uint32_t, uint32_t>> word;
  std::vector<uint32_t> space;
  std::vector<std::vector<uint32_t>> digit; // first, last, value
  std::vector<std::pair<uint32_t, std::string>> clean;
  std::vector<std::pair<uint32_t, uint32_t>> fold;
  std::vector<std::pair<uint32_t, std::string>> lower; // UTF-8

  static void u32(std::string &o, uint32_t v) {
    for (int i = 0; i < 4; i++) o += (char)((v >> (8 * i)) & 0xFF);
  }
  std::string bytes(uint32_t version = 1) const {
    std::string o = "TVUC";
    u32(o, version);
    u32(o, (uint32_t)word.size());
    for (auto &w : word) u32(o, w.first), u32(o, w.second);
    u32(o, (uint32_t)space.size());
    for (uint32_t c : space) u32(o, c);
    u32(o, (uint32_t)digit.size());
    for (auto &d : digit) u32(o, d[0]), u32(o, d[1]), u32(o, d[2]);
    u32(o, (uint32_t)clean.size());
    for (auto &c : clean) u32(o, c.first), o += (char)c.second.size(), o += c.second;
    u32(o, (uint32_t)fold.size());
    for (auto &f : fold) u32(o, f.first), u32(o, f.second);
    u32(o, (uint32_t)lower.size());
    for (auto &l : lower) u32(o, l.first), o += (char)l.second.size(), o += l.second;
    return o;
  }
};
