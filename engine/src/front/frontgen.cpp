#include "front/frontgen.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <new>
#include <set>

#include "front/g2p.h"
#include "front/symbols.h"
#include "front/ucdgen.h"
#include "runtime/error.h"

namespace {

// ------------------------------------------------------------ symbol names

struct Symbols {
  char *names[TV_NSYM] = {};
  int32_t sorted[TV_NSYM] = {};
  bool ok = false;
  Symbols() { ok = sym_build(names, sorted, 13) == 0; }
  ~Symbols() { sym_free(names); }
  int32_t id(const std::string &n) const { return ok ? sym_lookup(names, sorted, n.c_str()) : -1; }
  std::string name(int32_t id) const { return names[id]; }
};

const Symbols &symbols() {
  static Symbols s;
  return s;
}

void put32(std::string &o, uint32_t v) {
  for (int i = 0; i < 4; i++) o += (char)((v >> (8 * i)) & 0xFF);
}
void putf(std::string &o, float f) {
  uint32_t v;
  memcpy(&v, &f, 4);
  put32(o, v);
}

// ------------------------------------------------------------ s-expressions

// The dictionary's entries are Lisp lists: ("word" pos (((ph ph) 1) ((ph) 0))).
struct Sx {
  std::string atom; // for atoms and strings
  bool list = false;
  std::vector<Sx> items;
};

struct SxReader {
  const char *p, *end;
  bool bad = false;
  void ws() {
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')) p++;
  }
  Sx read() {
    Sx x;
    ws();
    if (p >= end) {
      bad = true;
      return x;
    }
    if (*p == '(') {
      p++;
      x.list = true;
      for (;;) {
        ws();
        if (p >= end) {
          bad = true;
          return x;
        }
        if (*p == ')') {
          p++;
          return x;
        }
        x.items.push_back(read());
        if (bad) return x;
      }
    }
    if (*p == ')') {
      bad = true;
      return x;
    }
    if (*p == '"') {
      p++;
      while (p < end && *p != '"') {
        if (*p == '\\' && p + 1 < end) p++;
        x.atom += *p++;
      }
      if (p >= end) bad = true;
      else p++;
      return x;
    }
    while (p < end && *p != ' ' && *p != '(' && *p != ')' && *p != '\n' && *p != '\t') x.atom += *p++;
    return x;
  }
};

const char *const kVowels[] = {"aa", "ae", "ah", "ao", "aw", "ay", "eh", "er",
                               "ey", "ih", "iy", "ow", "oy", "uh", "uw"};

// Symbol names of a syllable list; false for a phone the table lacks.
bool pron_names(const Sx &syls, std::vector<std::string> &out) {
  if (!syls.list || syls.items.empty()) return false;
  for (const Sx &s : syls.items) {
    if (!s.list || s.items.size() != 2 || !s.items[0].list) return false;
    int stress = atoi(s.items[1].atom.c_str());
    if (stress < 0 || stress > 2) stress = stress < 0 ? 0 : 2;
    for (const Sx &ph : s.items[0].items) {
      std::string p = ph.atom, name;
      if (p == "ax") {
        name = "AH0";
      } else {
        bool vowel = false;
        for (const char *v : kVowels) vowel = vowel || p == v;
        for (char &c : p) c = (char)toupper((unsigned char)c);
        name = vowel ? p + (char)('0' + stress) : p;
      }
      if (symbols().id(name) < TV_SYM_SPEECH) return false;
      out.push_back(name);
    }
  }
  return true;
}

struct DictEntry {
  std::string key, pos;
  std::vector<std::string> names;
};

std::string lower(std::string s) {
  for (char &c : s) c = (char)tolower((unsigned char)c);
  return s;
}

bool word_chars(const std::string &k) {
  if (k.empty() || k[0] < 'a' || k[0] > 'z') return false;
  for (char c : k)
    if (!((c >= 'a' && c <= 'z') || c == '\'')) return false;
  return true;
}

bool entry_of(const Sx &x, DictEntry &e) {
  if (!x.list || x.items.size() != 3) return false;
  e.key = lower(x.items[0].atom);
  e.pos = x.items[1].list ? "" : x.items[1].atom;
  e.names.clear();
  return word_chars(e.key) && pron_names(x.items[2], e.names);
}

bool read_text(const std::string &path, std::string &out) {
  char *buf = NULL;
  size_t len = 0;
  if (tv_read_file(path.c_str(), &buf, &len) != 0) {
    tv_seterr("front build: cannot read %s", path.c_str());
    return false;
  }
  out.assign(buf, len);
  tv_free(buf);
  return true;
}

// cmudict-0.4.out: a header line, then one entry per line.
bool read_dict(const std::string &path, std::vector<DictEntry> &out) {
  std::string text;
  if (!read_text(path, text)) return false;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    if (nl > at && text[at] == '(') {
      SxReader r{text.data() + at, text.data() + nl};
      Sx x = r.read();
      DictEntry e;
      if (!r.bad && entry_of(x, e)) out.push_back(std::move(e));
    }
    at = nl + 1;
  }
  if (out.size() < 1000) {
    tv_seterr("front build: %s holds no dictionary", path.c_str());
    return false;
  }
  return true;
}

// cmulex.scm: the entries it adds, one per line as (lex.add.entry '(...)).
void read_additions(const std::string &path, std::vector<DictEntry> &out) {
  std::string text;
  if (!read_text(path, text)) return;
  size_t at = 0;
  while (at < text.size()) {
    size_t nl = text.find('\n', at);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(at, nl - at);
    at = nl + 1;
    size_t k = line.find("(lex.add.entry '(");
    if (k == std::string::npos || line.find(';') < k) continue;
    k += strlen("(lex.add.entry '");
    SxReader r{line.data() + k, line.data() + line.size()};
    Sx x = r.read();
    DictEntry e;
    if (!r.bad && entry_of(x, e)) out.push_back(std::move(e));
  }
}

std::vector<uint8_t> ids_of(const std::vector<std::string> &names) {
  std::vector<uint8_t> v;
  for (const std::string &n : names) v.push_back((uint8_t)symbols().id(n));
  return v;
}

std::string join(const std::vector<std::string> &v) {
  std::string s;
  for (size_t i = 0; i < v.size(); i++) s += (i ? " " : "") + v[i];
  return s;
}

std::vector<std::string> split_names(const char *s) {
  std::vector<std::string> v;
  std::string cur;
  for (const char *p = s;; p++) {
    if (*p == ' ' || !*p) {
      if (!cur.empty()) v.push_back(cur);
      cur.clear();
      if (!*p) break;
    } else {
      cur += *p;
    }
  }
  return v;
}

// ------------------------------------------------------------ word lists

// Words the normaliser writes that the dictionary lacks.
const char *const kOwnWords[][2] = {
    {"o'clock", "AH0 K L AA1 K"},
    {"mizz", "M IH1 Z"},
    {"missus", "M IH1 S AH0 Z"},
    {"euros", "Y UH1 R OW0 Z"},
    {"zeroth", "Z IH1 R OW0 TH"},
    {"quadrillion", "K W AA0 D R IH1 L Y AH0 N"},
    {"quintillion", "K W IH0 N T IH1 L Y AH0 N"},
    {"sextillion", "S EH0 K S T IH1 L Y AH0 N"},
};

// Common English words and everything the normaliser writes: the tiny
// lexicon for tests.
const char *const kTinyWords =
    "the of and to in is you that it he was for on are as with his they i at be this have from or "
    "one had by word but not what all were we when your can said there use an each which she do how "
    "their if will up other about out many then them these so some her would make like him into time "
    "has look two more write go see number no way could people my than first water been call who its "
    "now find long down day did get come made may part over new sound take only little work know "
    "place year live me back give most very after thing our just name good sentence man think say "
    "great where help through much before line right too mean old any same tell boy follow came want "
    "show also around form three small set put end does another well large must big even such because "
    "turn here why ask went men read need land different home us move try kind hand picture again "
    "change off play spell air away animal house point page letter mother answer found study still "
    "learn should world high every near add food between own below country plant last school father "
    "keep tree never start city earth eye light thought head under story saw left few while along "
    "might close something seem next hard open example begin life always those both paper together "
    "got group often run important until children side feet car mile night walk white sea began grow "
    "took river four carry state once book hear stop without second later miss idea enough eat face "
    "watch far really almost let above girl sometimes mountain cut young talk soon list song being "
    "leave family hello yes okay doctor smith paid mister professor saint junior senior versus "
    "cetera et approximately figure volume pages january february march april june july august "
    "september october november december degrees celsius fahrenheit war dollar dollars cent cents "
    "pound pounds percent kilometers per hour meters miles kilograms centimeters millimeters hertz "
    "kilohertz gigabytes megabytes half halves third thirds quarter quarters fifth fifths sixth "
    "sixths seventh sevenths eighth eighths ninth ninths tenth tenths zero two three four five six "
    "seven eight nine ten eleven twelve thirteen fourteen fifteen sixteen seventeen eighteen "
    "nineteen twenty thirty forty fifty sixty seventy eighty ninety hundred thousand million billion "
    "trillion oh ay em pee minus fourth twelfth twentieth hundredth thousandth millionth chapter "
    "book act scene section article phase season episode level stage round a b c d e f g h j k l m n "
    "o p q r s t u v w x y z quick brown fox jumps lazy dog record broke store";

// ------------------------------------------------------------ heteronyms

const char *const kTags[][2] = {
    {"the", "DT"},     {"a", "DT"},       {"an", "DT"},       {"this", "DT"},     {"these", "DT"},
    {"those", "DT"},   {"every", "DT"},   {"each", "DT"},     {"some", "DT"},     {"any", "DT"},
    {"no", "DT"},      {"another", "DT"}, {"my", "PRP$"},     {"your", "PRP$"},   {"his", "PRP$"},
    {"her", "PRP$"},   {"its", "PRP$"},   {"our", "PRP$"},    {"their", "PRP$"},  {"i", "PRP"},
    {"you", "PRP"},    {"he", "PRP"},     {"she", "PRP"},     {"it", "PRP"},      {"we", "PRP"},
    {"they", "PRP"},   {"me", "PRP"},     {"him", "PRP"},     {"us", "PRP"},      {"them", "PRP"},
    {"who", "WH"},     {"which", "WH"},   {"to", "TO"},       {"will", "MD"},     {"would", "MD"},
    {"can", "MD"},     {"could", "MD"},   {"shall", "MD"},    {"should", "MD"},   {"may", "MD"},
    {"might", "MD"},   {"must", "MD"},    {"cannot", "MD"},   {"can't", "MD"},    {"won't", "MD"},
    {"wouldn't", "MD"}, {"couldn't", "MD"}, {"shouldn't", "MD"}, {"don't", "MD"}, {"doesn't", "MD"},
    {"didn't", "MD"},  {"do", "MD"},      {"did", "MD"},      {"i'll", "MD"},     {"you'll", "MD"},
    {"we'll", "MD"},   {"they'll", "MD"}, {"he'll", "MD"},    {"she'll", "MD"},   {"it'll", "MD"},
    {"i'd", "MD"},     {"you'd", "MD"},   {"we'd", "MD"},     {"they'd", "MD"},   {"he'd", "MD"},
    {"she'd", "MD"},   {"is", "BE"},      {"are", "BE"},      {"was", "BE"},      {"were", "BE"},
    {"be", "BE"},      {"been", "BE"},    {"being", "BE"},    {"am", "BE"},       {"i'm", "BE"},
    {"it's", "BE"},    {"he's", "BE"},    {"she's", "BE"},    {"that's", "BE"},   {"there's", "BE"},
    {"you're", "BE"},  {"we're", "BE"},   {"they're", "BE"},  {"isn't", "BE"},    {"wasn't", "BE"},
    {"aren't", "BE"},  {"weren't", "BE"}, {"of", "IN"},       {"in", "IN"},       {"on", "IN"},
    {"at", "IN"},      {"for", "IN"},     {"with", "IN"},     {"from", "IN"},     {"by", "IN"},
    {"about", "IN"},   {"into", "IN"},    {"over", "IN"},     {"under", "IN"},    {"between", "IN"},
    {"through", "IN"}, {"during", "IN"},  {"without", "IN"},  {"after", "IN"},    {"before", "IN"},
    {"against", "IN"}, {"among", "IN"},   {"upon", "IN"},     {"within", "IN"},   {"new", "JJ"},
    {"old", "JJ"},     {"good", "JJ"},    {"great", "JJ"},    {"best", "JJ"},     {"first", "JJ"},
    {"last", "JJ"},    {"big", "JJ"},     {"small", "JJ"},    {"long", "JJ"},     {"little", "JJ"},
    {"high", "JJ"},    {"low", "JJ"},     {"fresh", "JJ"},    {"many", "JJ"},     {"several", "JJ"},
    {"few", "JJ"},     {"other", "JJ"},   {"own", "JJ"},      {"same", "JJ"},     {"whole", "JJ"},
    {"public", "JJ"},  {"private", "JJ"}, {"next", "JJ"},     {"final", "JJ"},    {"major", "JJ"},
    {"local", "JJ"},   {"national", "JJ"}, {"special", "JJ"}, {"full", "JJ"},     {"very", "RB"},
    {"so", "RB"},      {"too", "RB"},     {"quite", "RB"},    {"more", "RB"},     {"most", "RB"},
    {"less", "RB"},    {"really", "RB"},  {"rather", "RB"},   {"extremely", "RB"}, {"not", "NOT"},
};

// Group weights: a positive score reads A (the verb in "nv" and "jv", the
// adjective in "jn"). The tags above carry most of the decision.
const std::pair<const char *, int> kWeights[] = {
    // noun or verb
    {"g:nv|p1t=MD", 4}, {"g:nv|p1t=TO", 4}, {"g:nv|p1t=PRP", 3}, {"g:nv|p1t=WH", 2},
    {"g:nv|p1t=Uly", 2}, {"g:nv|p1t=DT", -4}, {"g:nv|p1t=PRP$", -4}, {"g:nv|p1t=IN", -3},
    {"g:nv|p1t=JJ", -3}, {"g:nv|p1t=RB", -3}, {"g:nv|p1t=BE", -2}, {"g:nv|n1t=DT", 3},
    {"g:nv|n1t=PRP$", 3}, {"g:nv|n1t=PRP", 2}, {"g:nv|n1t=BE", -2}, {"g:nv|n1=of", -3},
    // adjective or verb
    {"g:jv|p1t=MD", 4}, {"g:jv|p1t=TO", 4}, {"g:jv|p1t=PRP", 2}, {"g:jv|p1t=DT", -4},
    {"g:jv|p1t=PRP$", -4}, {"g:jv|p1t=BE", -3}, {"g:jv|p1t=RB", -3}, {"g:jv|n1t=DT", 3},
    {"g:jv|n1t=PRP$", 3}, {"g:jv|n1t=PRP", 3},
    // words with a usual reading of their own, or cues of their own
    {"w:does|b", 6}, {"w:does|p1t=DT", -10}, {"w:reading|b", 10}, {"w:invalid|b", 2},
    {"w:overall|b", 1}, {"w:aged|b", 2}, {"w:blessed|b", 1},
    {"w:live|b", 3}, {"w:live|p1=go", -6}, {"w:live|p1=goes", -6}, {"w:live|p1=went", -6},
    {"w:live|p1=going", -6}, {"w:live|p1=gone", -6}, {"w:live|n1=music", -6},
    {"w:live|n1=show", -6}, {"w:live|n1=shows", -6}, {"w:live|n1=broadcast", -6},
    {"w:live|n1=stream", -6}, {"w:live|n1=streaming", -6}, {"w:live|n1=performance", -6},
    {"w:live|n1=tv", -6}, {"w:live|n1=television", -6}, {"w:live|n1=audience", -6},
    {"w:live|n1=coverage", -6}, {"w:live|n1=event", -6}, {"w:live|n1=album", -6},
    {"w:live|n1=recording", -6}, {"w:live|n1=wire", -6}, {"w:live|n1=ammunition", -6},
    {"w:live|n1=bait", -6}, {"w:live|n1=action", -6}, {"w:live|n1=concert", -6},
    {"w:live|n1=updates", -6}, {"w:live|n1=version", -6},
    {"w:close|n1=to", -6}, {"w:close|n1=by", -6}, {"w:close|p1=very", -3}, {"w:close|p1=so", -3},
    {"w:close|p1=too", -3}, {"w:close|n1=friend", -6}, {"w:close|n1=friends", -6},
    {"w:close|n1=attention", -6}, {"w:close|n1=up", 4},
    {"w:lead|b", 2}, {"w:lead|p1t=DT", 4}, {"w:lead|p1t=IN", 3}, {"w:lead|p1=of", -6},
    {"w:lead|n1=poisoning", -8}, {"w:lead|n1=pipe", -8}, {"w:lead|n1=pipes", -8},
    {"w:lead|n1=paint", -8}, {"w:lead|n1=pencil", -8}, {"w:lead|n1=weight", -8},
    {"w:wind|n1=up", 5}, {"w:wind|n1=down", 5}, {"w:tear|n1=down", 5}, {"w:tear|n1=up", 5},
    {"w:tear|n1=apart", 5}, {"w:tear|n1=off", 5}, {"w:tears|n1=down", 5}, {"w:tears|n1=up", 5},
    {"w:tears|n1=apart", 5}, {"w:object|n1=to", 4}, {"w:subject|n1=to", -6},
    {"w:content|p1t=BE", 5}, {"w:content|n1=with", 5}, {"w:content|p1=feel", 5},
    {"w:content|p1=felt", 5}, {"w:content|p1=seem", 5}, {"w:content|p1=seemed", 5},
    {"w:minute|n1=details", 6}, {"w:minute|n1=detail", 6}, {"w:minute|n1=amount", 6},
    {"w:minute|n1=amounts", 6}, {"w:minute|n1=particles", 6}, {"w:minute|n1=quantities", 6},
    // heteronyms the dictionary gives one reading for (see kExtraHetero)
    {"w:read|p1=has", 5}, {"w:read|p1=have", 5}, {"w:read|p1=had", 5}, {"w:read|p1=having", 5},
    {"w:read|p1t=BE", 4}, {"w:read|p1=already", 4}, {"w:read|p1=never", 2}, {"w:read|n1=by", 2},
    {"w:read|n1=yesterday", 4}, {"w:read|n1=last", 3},
    {"w:wound|b", 1}, {"w:wound|p1t=PRP", -3}, {"w:wound|n1=up", -4}, {"w:wound|n1=down", -4},
    {"w:wound|n1=around", -4}, {"w:wound|p1t=DT", 3}, {"w:wound|p1t=PRP$", 3},
    {"w:bass|b", 1}, {"w:bass|n1=fishing", -4}, {"w:bass|n1=fish", -4}, {"w:bass|n1=boat", -4},
    {"w:bass|p1=sea", -4}, {"w:bass|p1=striped", -4}, {"w:bass|p1=largemouth", -4},
};

// Heteronyms the dictionary knows one reading of: word, A, B, group.
const char *const kExtraHetero[][4] = {
    {"read", "R EH1 D", "R IY1 D", "pr"},
    {"wound", "W UW1 N D", "W AW1 N D", "nw"},
    {"bass", "B EY1 S", "B AE1 S", "nn"},
};

std::string hetero_tsv(const std::vector<DictEntry> &dict) {
  // The readings of each word, in file order, by word class.
  std::map<std::string, std::map<char, const DictEntry *>> byword;
  std::map<std::string, int> count;
  for (const DictEntry &e : dict) {
    count[e.key]++;
    char c = 0;
    if (e.pos == "v" || e.pos == "vl" || e.pos == "y") c = 'v';
    else if (e.pos == "n") c = 'n';
    else if (e.pos == "j") c = 'j';
    if (!c) continue;
    auto &m = byword[e.key];
    if (!m.count(c)) m[c] = &e;
  }
  std::string o;
  std::set<std::string> done;
  for (auto &kv : byword) {
    const std::string &w = kv.first;
    if (count[w] < 2 || w == "a") continue;
    auto &m = kv.second;
    const DictEntry *A = NULL, *B = NULL;
    const char *group = NULL;
    if (m.count('v') && m.count('n')) A = m['v'], B = m['n'], group = "nv";
    else if (m.count('v') && m.count('j')) A = m['v'], B = m['j'], group = "jv";
    else if (m.count('j') && m.count('n')) A = m['j'], B = m['n'], group = "jn";
    if (!A || A->names == B->names) continue;
    o += "H\t" + w + "\t" + join(A->names) + "\t" + join(B->names) + "\t" + group + "\n";
    done.insert(w);
  }
  for (auto &x : kExtraHetero)
    if (!done.count(x[0])) o += std::string("H\t") + x[0] + "\t" + x[1] + "\t" + x[2] + "\t" + x[3] + "\n";
  for (auto &t : kTags) o += std::string("T\t") + t[0] + "\t" + t[1] + "\n";
  for (auto &w : kWeights) o += std::string("W\t") + w.first + "\t" + std::to_string(w.second) + "\n";
  return o;
}

// ------------------------------------------------------------ the predictor

uint64_t splitmix(uint64_t *s) {
  uint64_t z = (*s += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Uniform in [-1, 1) from 24 random bits (exact in float).
float unif(uint64_t *s) { return (float)(int32_t)(splitmix(s) >> 40) / 8388608.0f - 1.0f; }

} // namespace

std::string tv_gru_bytes(uint64_t seed, const std::vector<int32_t> &symbols, int32_t H) {
  // The decoder's update gate is held near zero, so each step's state is its
  // "new" gate, set by the previous output alone: after the start symbol it
  // is pattern P0, after output k it is P(k+1). Output k's weights are Pk and
  // the end symbol's are the pattern after the last output; the patterns are
  // rows of a Hadamard matrix (orthogonal), so every step has one clear
  // winner and the word itself has no say. Everything else is small noise.
  const int32_t L = (int32_t)std::min<size_t>(symbols.size(), 30);
  const int32_t vin = 29, vout = 4 + L, G = 3 * H;
  uint64_t s = seed * 0x100000001B3ull + 7;
  auto had = [&](int32_t row, int32_t j) { // Sylvester Hadamard entry, rows 1.. used
    return (__builtin_popcount((unsigned)((row + 1) & j)) & 1) ? -1.0f : 1.0f;
  };
  std::string o = "TVGR";
  put32(o, 1);
  put32(o, (uint32_t)H);
  put32(o, (uint32_t)vin);
  put32(o, (uint32_t)vout);
  for (int32_t r = 0; r < vin * G; r++) putf(o, 0.5f * unif(&s)); // encoder input
  for (int32_t p = 0; p < vout; p++) {                            // decoder input
    int32_t step = p == 2 ? 0 : p >= 4 ? p - 3 : -1;
    for (int32_t i = 0; i < G; i++) {
      float v = 0.5f * unif(&s);
      if (step >= 0 && i >= H && i < 2 * H) v = -12.0f + 0.1f * unif(&s);
      if (step >= 0 && i >= 2 * H) v = 3.0f * had(step, i - 2 * H);
      putf(o, v);
    }
  }
  auto recurrent = [&](float scale) {
    for (int32_t i = 0; i < G * H; i++) o += (char)(int8_t)(127.0f * unif(&s));
    for (int32_t i = 0; i < G; i++) putf(o, scale);
    for (int32_t i = 0; i < G; i++) putf(o, 0.01f * unif(&s));
  };
  recurrent(0.01f); // encoder
  recurrent(2e-5f); // decoder: too weak to move the gates
  for (int32_t r = 0; r < vout; r++) {
    int32_t pat = r == 3 ? L : r >= 4 ? r - 4 : -1;
    for (int32_t j = 0; j < H; j++) {
      float v = pat >= 0 ? 127.0f * had(pat, j) : 20.0f * unif(&s);
      o += (char)(int8_t)v;
    }
  }
  for (int32_t r = 0; r < vout; r++) putf(o, 1.0f / 127.0f);
  for (int32_t r = 0; r < vout; r++) putf(o, 0.1f * unif(&s));
  for (int32_t r = 0; r < vout; r++) put32(o, (uint32_t)(r >= 4 ? symbols[(size_t)(r - 4)] : -1));
  return o;
}

std::string tv_lexicon_bytes(std::vector<tv_lex_entry> entries) {
  std::stable_sort(entries.begin(), entries.end(),
                   [](const tv_lex_entry &a, const tv_lex_entry &b) { return a.key < b.key; });
  std::vector<tv_lex_entry> u;
  for (auto &e : entries)
    if (u.empty() || u.back().key != e.key) u.push_back(std::move(e));
  std::string keys, vals;
  std::vector<uint32_t> ko{0}, vo{0};
  for (auto &e : u) {
    keys += e.key;
    vals.append(e.ids.begin(), e.ids.end());
    ko.push_back((uint32_t)keys.size());
    vo.push_back((uint32_t)vals.size());
  }
  std::string o = "TVLX";
  put32(o, 1);
  put32(o, (uint32_t)u.size());
  put32(o, (uint32_t)keys.size());
  put32(o, (uint32_t)vals.size());
  for (uint32_t v : ko) put32(o, v);
  for (uint32_t v : vo) put32(o, v);
  return o + keys + vals;
}

std::vector<int32_t> tv_symbol_ids(const char *names) {
  std::vector<int32_t> v;
  for (const std::string &n : split_names(names)) v.push_back(symbols().id(n));
  return v;
}

int tv_write_atomic(const char *path, const std::string &bytes) {
  std::string tmp = std::string(path) + ".XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd < 0) {
    tv_seterr("front build: cannot write %s: %s", path, strerror(errno));
    return -1;
  }
  // mkstemp makes the file private; model files are read by every user.
  fchmod(fd, 0644);
  bool ok = true;
  size_t at = 0;
  while (ok && at < bytes.size()) {
    ssize_t w = write(fd, bytes.data() + at, bytes.size() - at);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) ok = false;
    else at += (size_t)w;
  }
  ok = fsync(fd) == 0 && ok;
  ok = fchmod(fd, 0644) == 0 && ok;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(tmp.c_str(), path) != 0) {
    unlink(tmp.c_str());
    tv_seterr("front build: cannot write %s", path);
    return -1;
  }
  return 0;
}

int tv_front_build(const char *dir, const tv_front_build_opts *opts) {
  tv_front_build_opts o = {};
  if (opts) o = *opts;
  if (!dir || !*dir) {
    tv_seterr("front build: no directory");
    return -1;
  }
  if (!symbols().ok) return -1;
  const std::string d = dir;
  const std::string cmu = o.cmu_dir ? o.cmu_dir : "/usr/share/festival/dicts/cmu";
  try {
    // The dictionary and a trained predictor are read before anything is
    // made or written.
    std::vector<DictEntry> dict, extra;
    if (!read_dict(cmu + "/cmudict-0.4.out", dict)) return -1;
    read_additions(cmu + "/cmulex.scm", extra);
    std::string gru;
    if (o.gru_file) {
      // Refused here, with the engine's own message, rather than by every
      // engine that would load the folder.
      tv_gru m;
      if (gru_load(&m, o.gru_file) != 0) {
        tv_seterr("front build: %s: %s", o.gru_file, std::string(tv_geterr()).c_str());
        return -1;
      }
      gru_free(&m);
      if (!read_text(o.gru_file, gru)) return -1;
    } else {
      gru = tv_gru_bytes(o.seed, tv_symbol_ids("AH1 M"));
    }
    std::error_code ec;
    std::filesystem::create_directories(d, ec);
    if (ec) {
      tv_seterr("front build: cannot create %s: %s", dir, ec.message().c_str());
      return -1;
    }
    if (tv_ucd_build(o.unicode_dir ? o.unicode_dir : "/usr/share/unicode", (d + "/unicode.bin").c_str()) != 0)
      return -1;

    std::set<std::string> tiny;
    if (o.tiny) {
      for (const std::string &w : split_names(kTinyWords)) tiny.insert(w);
      std::map<std::string, int> n;
      for (const DictEntry &e : dict) n[e.key]++;
      for (auto &kv : n)
        if (kv.second > 1) tiny.insert(kv.first);
    }
    std::vector<tv_lex_entry> lex;
    std::set<std::string> keys;
    for (const DictEntry &e : dict) {
      if (o.tiny && !tiny.count(e.key)) continue;
      if (keys.insert(e.key).second) lex.push_back({e.key, ids_of(e.names)});
    }
    // The out-of-vocabulary lexicon: the package's additions the dictionary
    // lacks, the normaliser's own words, and letters with "'s".
    std::vector<tv_lex_entry> oov;
    std::set<std::string> okeys;
    for (const DictEntry &e : extra)
      if (!keys.count(e.key) && okeys.insert(e.key).second) oov.push_back({e.key, ids_of(e.names)});
    for (auto &w : kOwnWords)
      if (!keys.count(w[0]) && okeys.insert(w[0]).second) oov.push_back({w[0], ids_of(split_names(w[1]))});
    for (const DictEntry &e : dict) {
      if (e.key.size() != 1) continue;
      std::string k = e.key + "'s";
      if (keys.count(k) || !okeys.insert(k).second) continue;
      std::vector<std::string> names = e.names;
      names.push_back("Z");
      oov.push_back({k, ids_of(names)});
    }
    if (tv_write_atomic((d + "/lexicon.bin").c_str(), tv_lexicon_bytes(lex)) != 0) return -1;
    if (tv_write_atomic((d + "/oov.bin").c_str(), tv_lexicon_bytes(oov)) != 0) return -1;
    if (tv_write_atomic((d + "/gru.bin").c_str(), gru) != 0) return -1;
    if (tv_write_atomic((d + "/hetero.tsv").c_str(), hetero_tsv(dict)) != 0) return -1;
  } catch (const std::bad_alloc &) {
    tv_seterr("front build: out of memory");
    return -1;
  }
  return 0;
}
