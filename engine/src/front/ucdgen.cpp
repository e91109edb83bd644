#include "front/ucdgen.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/error.h"

namespace {

constexpr uint32_t kMax = 0x110000;

// Zero-filled means unassigned, so the table of every code point is cheap to
// make.
struct Cp {
  char cat[3];    // general category, "" when unassigned
  char bidi[4];
  int8_t decimal1; // decimal digit value + 1, 0 for none
  bool numeric;
  uint32_t upper, lower; // simple mappings, 0 for none
};

struct Db {
  std::vector<Cp> cp = std::vector<Cp>(kMax);
  std::map<uint32_t, std::vector<uint32_t>> decomp; // canonical and compatibility
  std::map<uint32_t, std::vector<uint32_t>> full_lower;
};

std::vector<std::string> fields(const std::string &line) {
  std::vector<std::string> f;
  std::string cur;
  for (char c : line) {
    if (c == ';') {
      f.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  f.push_back(cur);
  for (std::string &s : f) {
    size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
    s = a == std::string::npos ? "" : s.substr(a, b - a + 1);
  }
  return f;
}

std::vector<uint32_t> hexes(const std::string &s) {
  std::vector<uint32_t> v;
  std::istringstream in(s);
  std::string w;
  while (in >> w) {
    if (w[0] == '<') continue; // compatibility tag
    v.push_back((uint32_t)strtoul(w.c_str(), nullptr, 16));
  }
  return v;
}

bool read_db(const std::string &dir, Db &db) {
  std::string path = dir + "/UnicodeData.txt";
  std::ifstream in(path);
  if (!in) {
    tv_seterr("ucd build: cannot open %s", path.c_str());
    return false;
  }
  std::string line;
  uint32_t range_first = 0;
  bool in_range = false;
  while (std::getline(in, line)) {
    std::vector<std::string> f = fields(line);
    if (f.size() < 15) continue;
    uint32_t c = (uint32_t)strtoul(f[0].c_str(), nullptr, 16);
    if (c >= kMax) continue;
    Cp e = {};
    snprintf(e.cat, sizeof e.cat, "%s", f[2].c_str());
    snprintf(e.bidi, sizeof e.bidi, "%s", f[4].c_str());
    if (!f[6].empty()) e.decimal1 = (int8_t)(atoi(f[6].c_str()) + 1);
    e.numeric = !f[8].empty();
    if (!f[12].empty()) e.upper = (uint32_t)strtoul(f[12].c_str(), nullptr, 16);
    if (!f[13].empty()) e.lower = (uint32_t)strtoul(f[13].c_str(), nullptr, 16);
    const std::string &name = f[1];
    if (name.size() > 7 && name.compare(name.size() - 6, 6, "First>") == 0) {
      range_first = c;
      in_range = true;
    } else if (in_range && name.size() > 6 && name.compare(name.size() - 5, 5, "Last>") == 0) {
      for (uint32_t x = range_first; x < c; x++) db.cp[x] = e;
      in_range = false;
    }
    db.cp[c] = e;
    if (!f[5].empty()) db.decomp[c] = hexes(f[5]);
  }
  path = dir + "/SpecialCasing.txt";
  std::ifstream sc(path);
  if (!sc) {
    tv_seterr("ucd build: cannot open %s", path.c_str());
    return false;
  }
  while (std::getline(sc, line)) {
    size_t hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::vector<std::string> f = fields(line);
    // code; lower; title; upper; (condition;)
    if (f.size() < 4 || f[0].empty()) continue;
    if (f.size() >= 5 && !f[4].empty()) continue; // language or context dependent
    db.full_lower[(uint32_t)strtoul(f[0].c_str(), nullptr, 16)] = hexes(f[1]);
  }
  return true;
}

uint32_t lower1(const Db &db, uint32_t c) { return db.cp[c].lower ? db.cp[c].lower : c; }
uint32_t upper1(const Db &db, uint32_t c) { return db.cp[c].upper ? db.cp[c].upper : c; }

bool is_space(const Db &db, uint32_t c) {
  const Cp &e = db.cp[c];
  return !strcmp(e.bidi, "WS") || !strcmp(e.bidi, "B") || !strcmp(e.bidi, "S") ||
         !strcmp(e.cat, "Zs");
}

bool is_word(const Db &db, uint32_t c) { return db.cp[c].cat[0] == 'L' || db.cp[c].numeric; }

void decompose(const Db &db, uint32_t c, std::vector<uint32_t> &out, int depth = 0) {
  auto it = db.decomp.find(c);
  if (it == db.decomp.end() || depth > 8) {
    out.push_back(c);
    return;
  }
  for (uint32_t d : it->second) decompose(db, d, out, depth + 1);
}

// Latin letters and signs without a decomposition to ASCII, read as the
// nearest ASCII spelling.
const std::map<uint32_t, std::string> &specials() {
  static const std::map<uint32_t, std::string> m = {
      {0x00C6, "ae"}, {0x00E6, "ae"}, {0x0152, "oe"}, {0x0153, "oe"}, {0x00DF, "ss"},
      {0x1E9E, "ss"}, {0x00D8, "o"},  {0x00F8, "o"},  {0x0110, "d"},  {0x0111, "d"},
      {0x00D0, "d"},  {0x00F0, "d"},  {0x00DE, "th"}, {0x00FE, "th"}, {0x0141, "l"},
      {0x0142, "l"},  {0x0131, "i"},  {0x0126, "h"},  {0x0127, "h"},  {0x014A, "ng"},
      {0x014B, "ng"}, {0x0138, "k"},  {0x0192, "f"},  {0x0167, "t"},  {0x0166, "t"},
      {0x0180, "b"},  {0x0243, "b"},  {0x01B6, "z"},  {0x01B5, "z"},  {0x0268, "i"},
      {0x0197, "i"},  {0x0254, "o"},  {0x0186, "o"},  {0x0259, "e"},  {0x018F, "e"},
      {0x025B, "e"},  {0x0190, "e"},  {0x2018, "'"},  {0x2019, "'"},  {0x201A, "'"},
      {0x201B, "'"},  {0x2032, "'"},  {0x02BC, "'"},  {0x201C, "\""}, {0x201D, "\""},
      {0x201E, "\""}, {0x201F, "\""}, {0x00AB, "\""}, {0x00BB, "\""}, {0x2033, "\""},
      {0x2010, "-"},  {0x2011, "-"},  {0x2012, "-"},  {0x2013, "-"},  {0x2014, "-"},
      {0x2015, "-"},  {0x2212, "-"},  {0x2044, "/"},  {0x2215, "/"},
  };
  return m;
}

// The ASCII reading of an ASCII code point, "" when it vanishes.
std::string clean_ascii(uint32_t c) {
  if (c >= 'A' && c <= 'Z') return std::string(1, (char)(c + 32));
  if ((c >= 9 && c <= 13) || (c >= 28 && c <= 32)) return " ";
  if (c >= 33 && c <= 126) return std::string(1, (char)c);
  return "";
}

// Unassigned, private-use and surrogate code points carry no data.
bool assigned(const Db &db, uint32_t c) {
  const char *k = db.cp[c].cat;
  return k[0] && !(k[0] == 'C' && (k[1] == 'n' || k[1] == 'o' || k[1] == 's'));
}

std::string clean(const Db &db, uint32_t c) {
  if (c < 128) return clean_ascii(c);
  if (!assigned(db, c)) return "";
  if (is_space(db, c)) return " ";
  if (db.cp[c].decimal1 > 0) return std::string(1, (char)('0' + db.cp[c].decimal1 - 1));
  auto sp = specials().find(c);
  if (sp != specials().end()) return sp->second;
  std::vector<uint32_t> parts;
  decompose(db, c, parts);
  if (parts.size() == 1 && parts[0] == c) return "";
  std::string s;
  for (uint32_t d : parts) {
    if (d < 128) {
      s += clean_ascii(d);
    } else if (db.cp[d].cat[0] == 'M') {
      continue; // accents and other marks
    } else if (d != c) {
      s += clean(db, d);
    }
  }
  if (s.size() > 255) s.resize(255);
  return s;
}

void put32(std::string &o, uint32_t v) {
  for (int i = 0; i < 4; i++) o += (char)((v >> (8 * i)) & 0xFF);
}

void utf8(std::string &o, uint32_t c) {
  if (c < 0x80) {
    o += (char)c;
  } else if (c < 0x800) {
    o += (char)(0xC0 | (c >> 6));
    o += (char)(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    o += (char)(0xE0 | (c >> 12));
    o += (char)(0x80 | ((c >> 6) & 0x3F));
    o += (char)(0x80 | (c & 0x3F));
  } else {
    o += (char)(0xF0 | (c >> 18));
    o += (char)(0x80 | ((c >> 12) & 0x3F));
    o += (char)(0x80 | ((c >> 6) & 0x3F));
    o += (char)(0x80 | (c & 0x3F));
  }
}

std::string build(const Db &db) {
  std::string o = "TVUC";
  put32(o, 1);

  // 1 word ranges above ASCII
  std::vector<std::pair<uint32_t, uint32_t>> r;
  for (uint32_t c = 128; c < kMax; c++) {
    if (!is_word(db, c)) continue;
    if (!r.empty() && r.back().second + 1 == c) r.back().second = c;
    else r.push_back({c, c});
  }
  put32(o, (uint32_t)r.size());
  for (auto &x : r) put32(o, x.first), put32(o, x.second);

  // 2 white space above ASCII
  std::vector<uint32_t> sp;
  for (uint32_t c = 128; c < kMax; c++)
    if (is_space(db, c)) sp.push_back(c);
  put32(o, (uint32_t)sp.size());
  for (uint32_t c : sp) put32(o, c);

  // 3 runs of decimal digits above ASCII
  struct Run {
    uint32_t first, last, value;
  };
  std::vector<Run> d;
  for (uint32_t c = 128; c < kMax; c++) {
    int v = db.cp[c].decimal1 - 1;
    if (v < 0) continue;
    if (!d.empty() && d.back().last + 1 == c && d.back().value + (c - d.back().first) == (uint32_t)v)
      d.back().last = c;
    else d.push_back({c, c, (uint32_t)v});
  }
  put32(o, (uint32_t)d.size());
  for (auto &x : d) put32(o, x.first), put32(o, x.last), put32(o, x.value);

  // 4 cleaning, ASCII included
  std::string sec;
  uint32_t k = 0;
  for (uint32_t c = 0; c < kMax; c++) {
    std::string s = clean(db, c);
    if (s.empty()) continue;
    put32(sec, c);
    sec += (char)s.size();
    sec += s;
    k++;
  }
  put32(o, k);
  o += sec;

  // 5 fold pairs: lower-case forms with the same upper case are one class,
  // named by its smallest member.
  std::vector<uint32_t> rep(kMax, UINT32_MAX); // upper case -> smallest lower-case form
  for (uint32_t c = 0; c < kMax; c++) {
    if (!assigned(db, c)) continue;
    uint32_t l = lower1(db, c), key = upper1(db, l);
    if (l < rep[key]) rep[key] = l;
  }
  sec.clear();
  k = 0;
  for (uint32_t c = 128; c < kMax; c++) {
    if (!assigned(db, c)) continue;
    uint32_t f = rep[upper1(db, lower1(db, c))];
    if (f == c) continue;
    put32(sec, c);
    put32(sec, f);
    k++;
  }
  put32(o, k);
  o += sec;

  // 6 full lower case above ASCII
  sec.clear();
  k = 0;
  for (uint32_t c = 128; c < kMax; c++) {
    std::vector<uint32_t> l;
    auto it = db.full_lower.find(c);
    if (it != db.full_lower.end()) l = it->second;
    else l.push_back(lower1(db, c));
    if (l.size() == 1 && l[0] == c) continue;
    std::string t;
    for (uint32_t x : l) utf8(t, x);
    put32(sec, c);
    sec += (char)t.size();
    sec += t;
    k++;
  }
  put32(o, k);
  o += sec;
  return o;
}

} // namespace

int tv_ucd_build(const char *srcdir, const char *outpath) {
  if (!srcdir || !outpath) {
    tv_seterr("ucd build: NULL argument");
    return -1;
  }
  std::string bytes;
  try {
    Db db;
    if (!read_db(srcdir, db)) return -1;
    bytes = build(db);
  } catch (const std::bad_alloc &) {
    tv_seterr("ucd build: out of memory");
    return -1;
  }
  std::string tmp = std::string(outpath) + ".tmp";
  FILE *f = fopen(tmp.c_str(), "wb");
  if (!f) {
    tv_seterr("ucd build: cannot write %s", tmp.c_str());
    return -1;
  }
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = fclose(f) == 0 && ok;
  if (!ok || rename(tmp.c_str(), outpath) != 0) {
    unlink(tmp.c_str());
    tv_seterr("ucd build: cannot write %s", outpath);
    return -1;
  }
  return 0;
}
