// Regular expressions: a parser to a node tree, a few analyses on the tree
// (look-behind widths, deterministic repeat bodies, follow filters, the set of
// possible first characters) and a compiler to a small instruction list run
// by a backtracking machine whose choice points live on a heap stack.
//
// The machine keeps Python's priorities: leftmost start, greedy repeats
// longest first and lazy ones shortest first, alternatives left to right, and
// the first complete success wins. Every change to a group or repeat counter
// is logged on the same stack, so backtracking restores exactly the state of
// the choice point it resumes.
#include "front/rx.h"

#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "runtime/error.h"

namespace {

constexpr int32_t kInf = 2147483647;
constexpr int kMaxDepth = 64;          // nesting of groups in a pattern
constexpr int32_t kMaxStack = 1 << 22; // backtracking entries per operation
constexpr int kAnalysisBudget = 50000; // tree visits per first-set question

// ---------------------------------------------------------------- tree

enum Kind {
  N_LIT,
  N_ANY,
  N_CLASS,
  N_START,
  N_END,
  N_TEXTEND,
  N_BOUND,
  N_NBOUND,
  N_GROUP,
  N_ALT,
  N_REPEAT,
  N_LOOK,
  N_BREF
};

enum ClassFlag {
  F_DIGIT = 1,
  F_NDIGIT = 2,
  F_SPACE = 4,
  F_NSPACE = 8,
  F_WORD = 16,
  F_NWORD = 32
};

struct Class {
  std::vector<uint32_t> r; // sorted, merged (low, high) pairs
  bool neg = false;
  int flags = 0;
};

struct Node;
using Seq = std::vector<Node *>;

struct Node {
  Kind kind;
  uint32_t cp = 0;   // literal
  int cls = -1;      // class index
  Seq body;          // group, repeat, look-around
  int group = -1;    // capturing group number, or back-reference number
  std::vector<Seq> alts;
  int32_t min = 1, max = 1;
  bool greedy = true;
  bool behind = false, neg = false;
  int32_t width = 0;
  int sc = -1;       // single-character table index
  bool det = false;  // deterministic repeat body
};

bool single(const Node *x) { return x->kind == N_LIT || x->kind == N_ANY || x->kind == N_CLASS; }
bool zero_width(const Node *x) {
  return x->kind == N_START || x->kind == N_END || x->kind == N_TEXTEND || x->kind == N_BOUND ||
         x->kind == N_NBOUND || x->kind == N_LOOK;
}

// ---------------------------------------------------------------- program

enum Op : uint8_t {
  OP_ONE,     // a: single-character node
  OP_BOL,     // ^ \A
  OP_EOL,     // $
  OP_EOT,     // \Z
  OP_WB,      // \b
  OP_NWB,     // \B
  OP_GSTART,  // a: group
  OP_GEND,    // a: group
  OP_SPLIT,   // a: other branch; b = 1 takes a first
  OP_JMP,     // a: target
  OP_REP1,    // a: node, b: min, c: max, d: follow set or -1; greedy (bit 1:
              // the follow set and the node share no character)
  OP_DET,     // a: det body, b: min, c: max
  OP_RSTART,  // a: repeat register, b: its UNTIL
  OP_UNTIL,   // a: register, b: body, c: min, d: max; greedy
  OP_LOOK,    // a: behind, b: negated, c: width, d: continuation
  OP_LOOKEND,
  OP_BREF,    // a: group
  OP_MATCH
};

struct Inst {
  uint8_t op;
  uint8_t greedy;
  int32_t a, b, c, d;
};

// A single-character test with its ASCII answers precomputed.
struct Sc {
  Kind kind;
  uint32_t cp; // folded when ignoring case
  int cls;
  uint64_t bits[2];
  bool nonascii; // can match something above U+007F
};

// A set of single-character nodes: one of them must match.
struct Set {
  std::vector<int32_t> scs;
  uint64_t bits[2] = {0, 0};
  bool nonascii = false;
};

enum DetKind { D_ONE, D_SET, D_REP, D_BREF };
struct DetItem {
  DetKind kind;
  int32_t x; // node, set or group
  int32_t min, max;
};

} // namespace

struct tv_rx {
  const ucd *u;
  int32_t icase;
  int32_t groups;
  int32_t nrep;
  int32_t first; // set every match must begin with, or -1
  // The leading run (see Compiler::lead): a single-character test x, then a
  // repeat without upper bound of the test y; -1 when the pattern has none.
  int32_t lead_x = -1, lead_y = -1;
  int64_t step_limit = TV_RX_STEP_LIMIT;
  std::vector<Inst> prog;
  std::vector<Class> classes;
  std::vector<Sc> scs;
  std::vector<Set> sets;
  std::vector<DetItem> det;
  std::vector<int32_t> detbody; // per det body: first item, count (pairs)
};

namespace {

// ---------------------------------------------------------------- tests

bool class_raw(const tv_rx *rx, const Class &k, uint32_t c) {
  size_t lo = 0, hi = k.r.size() / 2;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (k.r[2 * mid + 1] < c) lo = mid + 1;
    else hi = mid;
  }
  if (lo < k.r.size() / 2 && k.r[2 * lo] <= c) return true;
  if (!k.flags) return false;
  const ucd *u = rx->u;
  if (k.flags & (F_DIGIT | F_NDIGIT)) {
    bool d = ucd_digit(u, c) >= 0;
    if ((k.flags & F_DIGIT) && d) return true;
    if ((k.flags & F_NDIGIT) && !d) return true;
  }
  if (k.flags & (F_SPACE | F_NSPACE)) {
    bool s = ucd_is_space(u, c);
    if ((k.flags & F_SPACE) && s) return true;
    if ((k.flags & F_NSPACE) && !s) return true;
  }
  if (k.flags & (F_WORD | F_NWORD)) {
    bool w = ucd_is_word(u, c);
    if ((k.flags & F_WORD) && w) return true;
    if ((k.flags & F_NWORD) && !w) return true;
  }
  return false;
}

bool class_test(const tv_rx *rx, const Class &k, uint32_t c) {
  bool in = class_raw(rx, k, c);
  if (!in && rx->icase) {
    uint32_t f = ucd_fold(rx->u, c);
    if (f != c && class_raw(rx, k, f)) in = true;
    else if (f >= 'a' && f <= 'z' && class_raw(rx, k, f - 32)) in = true;
  }
  return in != k.neg;
}

bool sc_slow(const tv_rx *rx, const Sc &s, uint32_t c) {
  switch (s.kind) {
  case N_LIT: return rx->icase ? ucd_fold(rx->u, c) == s.cp : c == s.cp;
  case N_ANY: return c != '\n';
  default: return class_test(rx, rx->classes[s.cls], c);
  }
}

inline bool sc_test(const tv_rx *rx, const Sc &s, uint32_t c) {
  if (c < 128) return (s.bits[c >> 6] >> (c & 63)) & 1;
  return s.nonascii && sc_slow(rx, s, c);
}

inline bool set_test(const tv_rx *rx, const Set &s, uint32_t c) {
  if (c < 128) return (s.bits[c >> 6] >> (c & 63)) & 1;
  if (!s.nonascii) return false;
  for (int32_t i : s.scs)
    if (sc_slow(rx, rx->scs[i], c)) return true;
  return false;
}

// ---------------------------------------------------------------- parser

struct Parser {
  const uint32_t *p;
  int32_t n, i = 0;
  const char *err = nullptr;
  int ngroups = 0, depth = 0;
  bool icase;
  const ucd *u;
  std::vector<std::unique_ptr<Node>> arena;
  std::vector<Class> classes;

  Node *make(Kind k) {
    arena.push_back(std::make_unique<Node>());
    Node *x = arena.back().get();
    x->kind = k;
    return x;
  }
  void fail(const char *e) {
    if (!err) err = e;
  }
  bool at(uint32_t c) const { return i < n && p[i] == c; }

  Seq alternation();
  Seq sequence();
  Node *atom();
  Node *quantify(Node *a);
  bool repeat_at(int32_t j, int32_t *mn, int32_t *mx, int32_t *next) const;
  Node *klass();
  Node *flag_class(int flags);
  int32_t width(const Seq &s);
};

bool ascii_alnum(uint32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Control characters of \a \f \n \r \t \v, or 0 for another letter.
uint32_t control_escape(uint32_t c) {
  switch (c) {
  case 'a': return 7;
  case 'f': return 12;
  case 'n': return 10;
  case 'r': return 13;
  case 't': return 9;
  case 'v': return 11;
  default: return 0;
  }
}

int class_escape(uint32_t c) {
  switch (c) {
  case 'd': return F_DIGIT;
  case 'D': return F_NDIGIT;
  case 's': return F_SPACE;
  case 'S': return F_NSPACE;
  case 'w': return F_WORD;
  case 'W': return F_NWORD;
  default: return 0;
  }
}

Seq Parser::alternation() {
  std::vector<Seq> alts;
  alts.push_back(sequence());
  while (!err && at('|')) {
    i++;
    alts.push_back(sequence());
  }
  if (alts.size() == 1) return std::move(alts[0]);
  Node *a = make(N_ALT);
  a->alts = std::move(alts);
  return Seq{a};
}

Seq Parser::sequence() {
  Seq s;
  while (!err && i < n && p[i] != '|' && p[i] != ')') {
    // A repeat needs something before it that consumes or may consume text;
    // an anchor or boundary cannot be repeated.
    int32_t mn, mx, next;
    if (repeat_at(i, &mn, &mx, &next)) {
      fail(mn > mx ? "min repeat greater than max repeat" : "nothing to repeat");
      break;
    }
    Node *a = atom();
    if (err) break;
    if (a->kind == N_START || a->kind == N_END || a->kind == N_TEXTEND || a->kind == N_BOUND ||
        a->kind == N_NBOUND) {
      if (repeat_at(i, &mn, &mx, &next))
        fail(mn > mx ? "min repeat greater than max repeat" : "nothing to repeat");
      s.push_back(a);
      continue;
    }
    s.push_back(quantify(a));
  }
  return s;
}

Node *Parser::flag_class(int flags) {
  Node *x = make(N_CLASS);
  x->cls = (int)classes.size();
  classes.emplace_back();
  classes.back().flags = flags;
  return x;
}

Node *Parser::atom() {
  uint32_t c = p[i++];
  switch (c) {
  case '(': {
    Node *g = make(N_GROUP);
    if (at('?')) {
      if (i + 1 < n && p[i + 1] == ':') {
        i += 2;
      } else if (i + 1 < n && (p[i + 1] == '=' || p[i + 1] == '!')) {
        g->kind = N_LOOK;
        g->neg = p[i + 1] == '!';
        i += 2;
      } else if (i + 2 < n && p[i + 1] == '<' && (p[i + 2] == '=' || p[i + 2] == '!')) {
        g->kind = N_LOOK;
        g->behind = true;
        g->neg = p[i + 2] == '!';
        i += 3;
      } else {
        fail("unsupported group syntax");
        return g;
      }
    } else {
      if (++ngroups > TV_RX_MAX_GROUPS) {
        fail("too many groups");
        return g;
      }
      g->group = ngroups;
    }
    if (++depth > kMaxDepth) {
      fail("groups nested too deeply");
      return g;
    }
    g->body = alternation();
    depth--;
    if (err) return g;
    if (!at(')')) {
      fail("missing )");
      return g;
    }
    i++;
    if (g->kind == N_LOOK && g->behind) g->width = width(g->body);
    return g;
  }
  case '[': return klass();
  case '.': return make(N_ANY);
  case '^': return make(N_START);
  case '$': return make(N_END);
  case '\\': {
    if (i >= n) {
      fail("trailing backslash");
      return make(N_LIT);
    }
    uint32_t e = p[i++];
    if (int f = class_escape(e)) return flag_class(f);
    switch (e) {
    case 'A': return make(N_START);
    case 'Z': return make(N_TEXTEND);
    case 'b': return make(N_BOUND);
    case 'B': return make(N_NBOUND);
    default: break;
    }
    Node *x = make(N_LIT);
    if (e >= '1' && e <= '9') {
      x->kind = N_BREF;
      x->group = (int)(e - '0');
      // A reference must name a group opened before it.
      if (x->group > ngroups) fail("invalid group reference");
    } else if (uint32_t k = control_escape(e)) {
      x->cp = k;
    } else if (ascii_alnum(e)) {
      fail("unsupported escape");
    } else {
      x->cp = e;
    }
    return x;
  }
  default: {
    Node *x = make(N_LIT);
    x->cp = c;
    return x;
  }
  }
}

Node *Parser::klass() {
  Class k;
  if (at('^')) {
    k.neg = true;
    i++;
  }
  bool first = true;
  // One class item: a code point, or a flag (returns false then).
  auto item = [&](uint32_t *cp, int *flag) -> bool {
    *flag = 0;
    uint32_t c = p[i++];
    if (c != '\\') {
      *cp = c;
      return true;
    }
    if (i >= n) {
      fail("bad escape");
      return false;
    }
    uint32_t e = p[i++];
    if ((*flag = class_escape(e))) return false;
    if (uint32_t x = control_escape(e)) {
      *cp = x;
      return true;
    }
    if (ascii_alnum(e)) {
      fail("unsupported escape");
      return false;
    }
    *cp = e;
    return true;
  };
  for (;;) {
    if (i >= n) {
      fail("unterminated class");
      break;
    }
    if (p[i] == ']' && !first) {
      i++;
      break;
    }
    first = false;
    uint32_t lo = 0;
    int fl = 0;
    if (!item(&lo, &fl)) {
      if (err) break;
      k.flags |= fl;
      continue;
    }
    uint32_t hi = lo;
    if (i + 1 < n && p[i] == '-' && p[i + 1] != ']') {
      i++;
      if (!item(&hi, &fl)) {
        if (!err) fail("bad range");
        break;
      }
      if (hi < lo) {
        fail("bad range");
        break;
      }
    }
    k.r.push_back(lo);
    k.r.push_back(hi);
  }
  Node *x = make(N_CLASS);
  if (err) return x;
  if (icase) {
    // Add the folded form of every member, so that a text character matches
    // when it folds like some member does.
    std::vector<uint32_t> add;
    auto in = [&](uint32_t c) {
      for (size_t j = 0; j < k.r.size(); j += 2)
        if (k.r[j] <= c && c <= k.r[j + 1]) return true;
      return false;
    };
    for (uint32_t c = 'A'; c <= 'Z'; c++)
      if (in(c)) add.push_back(c + 32);
    for (int32_t j = 0; j < u->nfold; j++)
      if (in(u->fold[j].cp)) add.push_back(u->fold[j].folded);
    for (uint32_t c : add) {
      k.r.push_back(c);
      k.r.push_back(c);
    }
  }
  // Sort and merge the ranges so that a test can bisect them.
  std::vector<std::pair<uint32_t, uint32_t>> rs;
  for (size_t j = 0; j < k.r.size(); j += 2) rs.push_back({k.r[j], k.r[j + 1]});
  std::sort(rs.begin(), rs.end());
  k.r.clear();
  for (auto &r : rs) {
    if (!k.r.empty() && (uint64_t)r.first <= (uint64_t)k.r.back() + 1) {
      k.r.back() = std::max(k.r.back(), r.second);
    } else {
      k.r.push_back(r.first);
      k.r.push_back(r.second);
    }
  }
  x->cls = (int)classes.size();
  classes.push_back(std::move(k));
  return x;
}

// Whether a repeat ({m,n} or one of * + ?) starts at j: its bounds and the
// index after it. A brace that does not close a valid repeat is a literal.
bool Parser::repeat_at(int32_t j, int32_t *mn, int32_t *mx, int32_t *next) const {
  if (j >= n) return false;
  uint32_t c = p[j];
  if (c == '*' || c == '+' || c == '?') {
    *mn = c == '+' ? 1 : 0;
    *mx = c == '?' ? 1 : kInf;
    *next = j + 1;
    return true;
  }
  if (c != '{') return false;
  j++;
  auto digits = [&](int32_t *v) {
    bool any = false;
    int64_t x = 0;
    while (j < n && p[j] >= '0' && p[j] <= '9' && x <= 99999999) {
      x = x * 10 + (p[j] - '0');
      j++;
      any = true;
    }
    *v = (int32_t)x;
    return any;
  };
  int32_t lo = 0, hi = 0;
  bool has_lo = digits(&lo), comma = false, has_hi = false;
  if (j < n && p[j] == ',') {
    comma = true;
    j++;
    has_hi = digits(&hi);
  }
  if (j >= n || p[j] != '}' || (!has_lo && !comma)) return false;
  *mn = has_lo ? lo : 0;
  *mx = comma ? (has_hi ? hi : kInf) : lo;
  *next = j + 1;
  return true;
}

Node *Parser::quantify(Node *a) {
  int32_t mn, mx, next;
  if (!repeat_at(i, &mn, &mx, &next)) return a;
  i = next;
  if (mn > mx) {
    fail("min repeat greater than max repeat");
    return a;
  }
  Node *r = make(N_REPEAT);
  r->min = mn;
  r->max = mx;
  if (at('?')) {
    r->greedy = false;
    i++;
  }
  r->body = Seq{a};
  // A repeat right after a repeat is refused, as Python refuses it, instead
  // of reading the second as a literal ("a***" as "a*\\**"): such chains give
  // a short pattern enough repeats in a row to backtrack without end. A '+'
  // after a greedy repeat would make it possessive, which is not supported.
  if (repeat_at(i, &mn, &mx, &next)) {
    if (mn > mx) fail("min repeat greater than max repeat");
    else if (r->greedy && p[i] == '+') fail("unsupported possessive repeat");
    else fail("multiple repeat");
  }
  return r;
}

// Fixed width of a look-behind body, or an error.
int32_t Parser::width(const Seq &s) {
  int64_t w = 0;
  for (Node *x : s) {
    if (err) return 0;
    int64_t v = 0;
    if (single(x)) {
      v = 1;
    } else if (x->kind == N_GROUP) {
      v = width(x->body);
    } else if (x->kind == N_ALT) {
      v = width(x->alts[0]);
      for (size_t j = 1; j < x->alts.size() && !err; j++)
        if (width(x->alts[j]) != v) fail("variable-width lookbehind");
    } else if (x->kind == N_REPEAT) {
      if (x->min != x->max) {
        // A back-reference inside still decides the message.
        width(x->body);
        fail("variable-width lookbehind");
      } else {
        v = (int64_t)x->min * width(x->body);
      }
    } else if (x->kind == N_BREF) {
      fail("backref in lookbehind");
    }
    w += v;
    if (w > kInf) fail("variable-width lookbehind");
  }
  return (int32_t)w;
}

// ---------------------------------------------------------------- analyses

struct Compiler {
  tv_rx *rx;
  int budget = 0;

  // What follows a point of the tree: the rest of seq from idx, then up.
  // With loop set, it is the end of that repeat's body: another iteration or
  // the repeat's own continuation.
  struct Cont {
    const Seq *seq;
    size_t idx;
    const Cont *up;
    const Node *loop;
  };

  // Adds to out every single-character node one of which must match the next
  // code point for the rest to succeed. False when that set is not complete:
  // the rest may match empty, or meets a back-reference first.
  bool first(const Seq &s, size_t i, const Cont *k, std::vector<int32_t> &out) {
    if (--budget < 0) return false;
    for (; i < s.size(); i++) {
      Node *x = s[i];
      if (single(x)) {
        out.push_back(x->sc);
        return true;
      }
      if (zero_width(x)) continue;
      Cont c{&s, i + 1, k, nullptr};
      switch (x->kind) {
      case N_GROUP: return first(x->body, 0, &c, out);
      case N_ALT: {
        bool ok = true;
        for (const Seq &a : x->alts) ok = first(a, 0, &c, out) && ok;
        return ok;
      }
      case N_REPEAT: {
        if (x->max == 0) continue;
        bool ok = first(x->body, 0, &c, out);
        if (x->min == 0) ok = first(s, i + 1, k, out) && ok;
        return ok;
      }
      default: return false; // back-reference
      }
    }
    if (!k) return false;
    if (k->loop) {
      Cont tail{k->seq, k->idx, k->up, nullptr};
      bool ok = first(k->loop->body, 0, &tail, out);
      return first(*k->seq, k->idx, k->up, out) && ok;
    }
    return first(*k->seq, k->idx, k->up, out);
  }

  int32_t make_set(std::vector<int32_t> &v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    Set s;
    for (int32_t i : v) {
      const Sc &c = rx->scs[i];
      s.bits[0] |= c.bits[0];
      s.bits[1] |= c.bits[1];
      s.nonascii = s.nonascii || c.nonascii;
    }
    s.scs = v;
    rx->sets.push_back(std::move(s));
    return (int32_t)rx->sets.size() - 1;
  }

  // -1, or the set that must hold the code point after s[i..].
  int32_t follow(const Seq &s, size_t i, const Cont *k) {
    std::vector<int32_t> v;
    budget = kAnalysisBudget;
    if (!first(s, i, k, v) || v.empty()) return -1;
    return make_set(v);
  }

  // Gives every single-character node its table entry.
  void number(const Seq &s) {
    for (Node *x : s) {
      if (single(x)) {
        Sc c{};
        c.kind = x->kind;
        c.cls = x->cls;
        c.cp = x->kind == N_LIT && rx->icase ? ucd_fold(rx->u, x->cp) : x->cp;
        for (uint32_t ch = 0; ch < 128; ch++)
          if (sc_slow(rx, c, ch)) c.bits[ch >> 6] |= 1ull << (ch & 63);
        if (x->kind == N_ANY) {
          c.nonascii = true;
        } else if (x->kind == N_LIT) {
          c.nonascii = rx->icase || x->cp >= 128;
        } else {
          const Class &k = rx->classes[x->cls];
          c.nonascii = k.neg || k.flags || rx->icase || (!k.r.empty() && k.r.back() >= 128);
        }
        x->sc = (int)rx->scs.size();
        rx->scs.push_back(c);
      }
      number(x->body);
      for (const Seq &a : x->alts) number(a);
    }
  }

  // The body node of a repeat that is one single-character node, possibly
  // inside non-capturing groups; else NULL.
  static const Node *one_char(const Seq &body) {
    if (body.size() != 1) return nullptr;
    const Node *x = body[0];
    if (single(x)) return x;
    if (x->kind == N_GROUP && x->group < 0) return one_char(x->body);
    return nullptr;
  }

  static bool has_bref(const Seq &s) {
    for (const Node *x : s) {
      if (x->kind == N_BREF || has_bref(x->body)) return true;
      for (const Seq &a : x->alts)
        if (has_bref(a)) return true;
    }
    return false;
  }

  // The leading run: every match begins (after group openings only) with a
  // repeat without upper bound of one character test, or with one test x
  // and then such a repeat of y. When a search fails at p, a start q further
  // on with x(t[p]) and y(t[p+1..q]) cannot succeed either: the run from p
  // would cover the same characters and reach the same point, and nothing
  // but a back-reference could tell the two apart. Skipping those starts
  // keeps a search over one long run of digits linear.
  void lead(const Seq &root) {
    if (has_bref(root)) return;
    const Seq *s = &root;
    while (!s->empty() && (*s)[0]->kind == N_GROUP) s = &(*s)[0]->body;
    if (s->empty()) return;
    auto run = [](const Node *x) -> const Node * {
      return x->kind == N_REPEAT && x->max == kInf ? one_char(x->body) : nullptr;
    };
    const Node *a = (*s)[0], *c = run(a);
    if (c && a->min >= 1) {
      rx->lead_x = rx->lead_y = c->sc;
    } else if (single(a) && s->size() > 1 && (c = run((*s)[1]))) {
      rx->lead_x = a->sc;
      rx->lead_y = c->sc;
    }
  }

  // Whether every iteration of a repeat over body has at most one way to
  // match, so its iterations need no choice points.
  bool deterministic(const Node *r) {
    if (rx->icase || !r->greedy || r->body.size() != 1) return false;
    const Node *b = r->body[0];
    if (b->kind == N_BREF) return true;
    if (b->kind != N_GROUP || b->group >= 0 || b->body.empty()) return false;
    bool consumes = false;
    const Seq &s = b->body;
    for (size_t i = 0; i < s.size(); i++) {
      const Node *x = s[i];
      if (single(x)) {
        consumes = true;
      } else if (x->kind == N_ALT) {
        for (const Seq &a : x->alts)
          if (a.size() != 1 || !single(a[0])) return false;
        consumes = true;
      } else if (x->kind == N_REPEAT && x->greedy && x->body.size() == 1 && single(x->body[0])) {
        bool ok = x->min == x->max;
        if (!ok && i + 1 < s.size() && s[i + 1]->kind == N_LIT && s[i + 1]->cp < 128)
          ok = !sc_test(rx, rx->scs[x->body[0]->sc], s[i + 1]->cp);
        if (!ok) return false;
        if (x->min > 0) consumes = true;
      } else {
        return false;
      }
    }
    return consumes;
  }

  int32_t det_body(const Node *r) {
    int32_t start = (int32_t)rx->det.size();
    const Node *b = r->body[0];
    if (b->kind == N_BREF) {
      rx->det.push_back({D_BREF, b->group, 1, 1});
    } else {
      for (const Node *x : b->body) {
        if (single(x)) {
          rx->det.push_back({D_ONE, x->sc, 1, 1});
        } else if (x->kind == N_ALT) {
          std::vector<int32_t> v;
          for (const Seq &a : x->alts) v.push_back(a[0]->sc);
          rx->det.push_back({D_SET, make_set(v), 1, 1});
        } else {
          rx->det.push_back({D_REP, x->body[0]->sc, x->min, x->max});
        }
      }
    }
    rx->detbody.push_back(start);
    rx->detbody.push_back((int32_t)rx->det.size() - start);
    return (int32_t)rx->detbody.size() / 2 - 1;
  }

  // ------------------------------------------------------------ emission

  int32_t emit(Op op, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0, bool g = true) {
    rx->prog.push_back(Inst{op, (uint8_t)g, a, b, c, d});
    return (int32_t)rx->prog.size() - 1;
  }
  int32_t here() const { return (int32_t)rx->prog.size(); }

  void seq(const Seq &s, const Cont *k) {
    for (size_t i = 0; i < s.size(); i++) node(s, i, k);
  }

  void node(const Seq &s, size_t i, const Cont *k) {
    const Node *x = s[i];
    Cont c{&s, i + 1, k, nullptr};
    switch (x->kind) {
    case N_LIT:
    case N_ANY:
    case N_CLASS: emit(OP_ONE, x->sc); break;
    case N_START: emit(OP_BOL); break;
    case N_END: emit(OP_EOL); break;
    case N_TEXTEND: emit(OP_EOT); break;
    case N_BOUND: emit(OP_WB); break;
    case N_NBOUND: emit(OP_NWB); break;
    case N_BREF: emit(OP_BREF, x->group); break;
    case N_GROUP:
      if (x->group > 0) emit(OP_GSTART, x->group);
      seq(x->body, &c);
      if (x->group > 0) emit(OP_GEND, x->group);
      break;
    case N_ALT: {
      std::vector<int32_t> jumps;
      for (size_t j = 0; j < x->alts.size(); j++) {
        int32_t split = -1;
        if (j + 1 < x->alts.size()) split = emit(OP_SPLIT);
        seq(x->alts[j], &c);
        if (j + 1 < x->alts.size()) {
          jumps.push_back(emit(OP_JMP));
          rx->prog[split].a = here();
        }
      }
      for (int32_t j : jumps) rx->prog[j].a = here();
      break;
    }
    case N_LOOK: {
      int32_t look = emit(OP_LOOK, x->behind, x->neg, x->width);
      seq(x->body, nullptr);
      emit(OP_LOOKEND);
      rx->prog[look].d = here();
      break;
    }
    case N_REPEAT: repeat(s, i, k); break;
    }
  }

  void repeat(const Seq &s, size_t i, const Cont *k) {
    const Node *x = s[i];
    if (x->max == 0) return;
    if (const Node *one = one_char(x->body)) {
      int32_t f = follow(s, i + 1, k);
      int32_t at = emit(OP_REP1, one->sc, x->min, x->max, f, x->greedy);
      if (f >= 0 && x->greedy) {
        // When nothing the node matches can follow it, only the longest
        // count can let the rest start: a shorter one leaves a character of
        // the node next.
        const Sc &c = rx->scs[one->sc];
        const Set &fs = rx->sets[f];
        if (!(c.bits[0] & fs.bits[0]) && !(c.bits[1] & fs.bits[1]) && !(c.nonascii && fs.nonascii))
          rx->prog[at].greedy |= 2;
      }
      return;
    }
    Cont loop{&s, i + 1, k, x};
    if (x->min == 1 && x->max == 1) {
      seq(x->body, &loop);
      return;
    }
    if (deterministic(x)) {
      emit(OP_DET, det_body(x), x->min, x->max);
      return;
    }
    if (x->min == 0 && x->max == 1) {
      // An optional item is a plain choice between the body and the way past
      // it: greedy tries the body first, lazy the way past.
      int32_t split = emit(OP_SPLIT, 0, x->greedy ? 0 : 1);
      seq(x->body, &loop);
      rx->prog[split].a = here();
      return;
    }
    int32_t reg = rx->nrep++;
    int32_t start = emit(OP_RSTART, reg);
    int32_t body = here();
    seq(x->body, &loop);
    int32_t until = emit(OP_UNTIL, reg, body, x->min, x->max, x->greedy);
    rx->prog[start].b = until;
  }
};

} // namespace

// ---------------------------------------------------------------- compile

tv_rx *tv_rx_compile(const ucd *u, const char *pattern, int32_t flags) {
  if (!u || !pattern) {
    tv_seterr("tovantts front: NULL argument");
    return NULL;
  }
  uint32_t fl = 0;
  u32s pat = {};
  u32s_utf8(&fl, &pat, pattern, strlen(pattern));
  if (fl) {
    u32s_free(&pat);
    tv_seterr("tovantts front: out of memory");
    return NULL;
  }
  tv_rx *rx = nullptr;
  try {
    Parser ps;
    ps.p = pat.p;
    ps.n = pat.n;
    ps.icase = flags != 0;
    ps.u = u;
    Seq root;
    try {
      root = ps.alternation();
      if (!ps.err && ps.i < ps.n) ps.fail("unbalanced )");
    } catch (const std::bad_alloc &) {
      ps.fail("out of memory");
    }
    if (ps.err) {
      u32s_free(&pat);
      tv_seterr("tovantts front regex: %s in %s", ps.err, pattern);
      return NULL;
    }
    rx = new tv_rx();
    rx->u = u;
    rx->icase = flags != 0;
    rx->groups = ps.ngroups;
    rx->nrep = 0;
    rx->first = -1;
    rx->classes = std::move(ps.classes);
    Compiler cc{rx};
    cc.number(root);
    cc.seq(root, nullptr);
    cc.emit(OP_MATCH);
    std::vector<int32_t> v;
    cc.budget = kAnalysisBudget;
    if (cc.first(root, 0, nullptr, v) && !v.empty()) rx->first = cc.make_set(v);
    cc.lead(root);
  } catch (const std::bad_alloc &) {
    delete rx;
    u32s_free(&pat);
    tv_seterr("tovantts front: out of memory");
    return NULL;
  }
  u32s_free(&pat);
  return rx;
}

void tv_rx_free(tv_rx *rx) { delete rx; }

void tv_rx_set_step_limit(tv_rx *rx, int64_t steps) {
  if (rx) rx->step_limit = steps < 1 ? 1 : steps;
}

int32_t tv_rx_groups(const tv_rx *rx) { return rx ? rx->groups : 0; }

// ---------------------------------------------------------------- machine

namespace {

enum EntKind : int32_t { E_RESTORE, E_CHOICE, E_REP1, E_DET, E_LAZY, E_BARRIER };

struct Ent {
  int32_t kind, a, b, c, d;
};

// Registers: group g at 2g, 2g+1 (g = 1..9); the start of an open group g at
// kTmp + g; repeat r's iteration count and last start at kRep + 2r (+1).
constexpr int kTmp = 20;
constexpr int kRep = 30;

struct Vm {
  const tv_rx *rx;
  const uint32_t *t;
  int32_t n;
  uint32_t *flag;
  int64_t *budget;
  int32_t *regs;
  Ent *st;
  int32_t top = 0, cap;
  int32_t *ps; // end positions of deterministic repeats
  int32_t ptop = 0, pcap;
  int32_t barrier = -1;
  bool failed = false;
  int32_t regs_in[64];
  Ent st_in[64];
  int32_t ps_in[64];

  Vm(const tv_rx *r, const uint32_t *text, int32_t len, uint32_t *fl, int64_t *b)
      : rx(r), t(text), n(len), flag(fl), budget(b), regs(regs_in), st(st_in), cap(64), ps(ps_in),
        pcap(64) {
    size_t nr = (size_t)kRep + 2 * (size_t)r->nrep;
    if (nr > 64) {
      regs = (int32_t *)malloc(nr * sizeof(int32_t));
      if (!regs) {
        regs = regs_in;
        oom();
        return;
      }
    }
    for (size_t j = 0; j < nr; j++) regs[j] = -1;
  }
  ~Vm() {
    if (regs != regs_in) free(regs);
    if (st != st_in) free(st);
    if (ps != ps_in) free(ps);
  }
  void oom() {
    failed = true;
    fx_fail(flag, FX_NOMEM);
  }
  void limit() {
    failed = true;
    fx_fail(flag, TV_RX_LIMIT_MSG);
  }
  template <class T> bool grow(T *&a, int32_t &c, T *inl) {
    if (c >= kMaxStack) {
      limit();
      return false;
    }
    int32_t nc = c * 2;
    T *p = a == inl ? (T *)malloc(sizeof(T) * nc) : (T *)realloc(a, sizeof(T) * nc);
    if (!p) {
      oom();
      return false;
    }
    if (a == inl) memcpy(p, inl, sizeof(T) * c);
    a = p;
    c = nc;
    return true;
  }
  bool push(int32_t kind, int32_t a, int32_t b, int32_t c = 0, int32_t d = 0) {
    if (top == cap && !grow(st, cap, st_in)) return false;
    st[top++] = Ent{kind, a, b, c, d};
    return true;
  }
  bool set(int32_t r, int32_t v) {
    if (regs[r] == v) return true;
    if (!push(E_RESTORE, r, regs[r])) return false;
    regs[r] = v;
    return true;
  }
  bool ppush(int32_t v) {
    if (ptop == pcap && !grow(ps, pcap, ps_in)) return false;
    ps[ptop++] = v;
    return true;
  }
  bool word(int32_t p) const { return p >= 0 && p < n && ucd_is_word(rx->u, t[p]); }
  bool filter_ok(int32_t f, int32_t p) const {
    return f < 0 || (p < n && set_test(rx, rx->sets[f], t[p]));
  }

  // End of one iteration of a deterministic body from p, or -1.
  int32_t det_match(int32_t body, int32_t p, int64_t &steps) const {
    const DetItem *it = &rx->det[rx->detbody[2 * body]];
    int32_t k = rx->detbody[2 * body + 1];
    for (int32_t j = 0; j < k; j++) {
      const DetItem &d = it[j];
      switch (d.kind) {
      case D_ONE:
        if (p >= n || !sc_test(rx, rx->scs[d.x], t[p])) return -1;
        p++;
        break;
      case D_SET:
        if (p >= n || !set_test(rx, rx->sets[d.x], t[p])) return -1;
        p++;
        break;
      case D_REP: {
        const Sc &s = rx->scs[d.x];
        int32_t lim = d.max < n - p ? d.max : n - p, c = 0;
        while (c < lim && sc_test(rx, s, t[p + c])) c++;
        steps -= c;
        if (c < d.min) return -1;
        p += c;
        break;
      }
      case D_BREF: {
        int32_t s = regs[2 * d.x], e = regs[2 * d.x + 1];
        if (s < 0) return -1;
        if (e - s > n - p) return -1;
        for (int32_t q = s; q < e; q++)
          if (t[q] != t[p + q - s]) return -1;
        steps -= e - s;
        p += e - s;
        break;
      }
      }
    }
    return p;
  }

  // Highest count in [min, k] after which the follow set accepts, or -1.
  int32_t rep_down(const Inst &I, int32_t base, int32_t k, int64_t &steps) const {
    if (I.d < 0) return k >= I.b ? k : -1;
    for (; k >= I.b; k--) {
      steps--;
      if (filter_ok(I.d, base + k)) return k;
    }
    return -1;
  }

  // Next count above k (lazy) after which the follow set accepts, or -1.
  int32_t rep_up(const Inst &I, int32_t base, int32_t k, int64_t &steps) const {
    const Sc &s = rx->scs[I.a];
    int32_t lim = I.c < n - base ? I.c : n - base;
    while (k < lim && sc_test(rx, s, t[base + k])) {
      k++;
      steps--;
      if (filter_ok(I.d, base + k)) return k;
    }
    return -1;
  }

  // Drops every choice point above the barrier at b (a look-around body that
  // succeeded is not re-entered) but keeps the logged register changes, so
  // that backtracking past the look-around still undoes its captures.
  void cut(int32_t b) {
    int32_t w = b;
    for (int32_t j = b + 1; j < top; j++)
      if (st[j].kind == E_RESTORE) st[w++] = st[j];
    top = w;
  }

  // 1 with *end set, 0 without a match, -1 when the flag was set.
  int run(int32_t start, int32_t *end);
};

int Vm::run(int32_t start, int32_t *end) {
  const Inst *prog = rx->prog.data();
  int32_t pc = 0, pos = start;
  top = 0;
  ptop = 0;
  barrier = -1;
  for (int j = 2; j < kRep; j++) regs[j] = -1;
  int64_t steps = *budget;
  for (;;) {
    if (--steps < 0) {
      limit();
      return -1;
    }
    const Inst &I = prog[pc];
    bool ok = true;
    switch (I.op) {
    case OP_ONE:
      if (pos < n && sc_test(rx, rx->scs[I.a], t[pos])) {
        pos++;
        pc++;
      } else {
        ok = false;
      }
      break;
    case OP_BOL:
      ok = pos == 0;
      pc++;
      break;
    case OP_EOL:
      ok = pos == n || (pos == n - 1 && t[pos] == '\n');
      pc++;
      break;
    case OP_EOT:
      ok = pos == n;
      pc++;
      break;
    case OP_WB:
    case OP_NWB:
      ok = (word(pos - 1) != word(pos)) == (I.op == OP_WB);
      pc++;
      break;
    case OP_GSTART:
      ok = set(kTmp + I.a, pos);
      pc++;
      break;
    case OP_GEND:
      ok = set(2 * I.a, regs[kTmp + I.a]) && set(2 * I.a + 1, pos);
      pc++;
      break;
    case OP_SPLIT:
      if (I.b) {
        ok = push(E_CHOICE, pc + 1, pos);
        pc = I.a;
      } else {
        ok = push(E_CHOICE, I.a, pos);
        pc++;
      }
      break;
    case OP_JMP: pc = I.a; break;
    case OP_REP1: {
      const Sc &s = rx->scs[I.a];
      int32_t k;
      if (I.greedy) {
        int32_t lim = I.c < n - pos ? I.c : n - pos, c = 0;
        while (c < lim && sc_test(rx, s, t[pos + c])) c++;
        steps -= c;
        if (c < I.b) {
          k = -1;
        } else if (I.greedy & 2) {
          k = filter_ok(I.d, pos + c) ? c : -1;
        } else {
          k = rep_down(I, pos, c, steps);
          if (k > I.b) ok = push(E_REP1, pc, pos, k - 1);
        }
      } else {
        if (I.b > n - pos) {
          k = -1;
        } else {
          int32_t c = 0;
          while (c < I.b && sc_test(rx, s, t[pos + c])) c++;
          steps -= c;
          k = c < I.b ? -1 : filter_ok(I.d, pos + c) ? c : rep_up(I, pos, c, steps);
        }
        if (k >= 0) ok = push(E_REP1, pc, pos, k);
      }
      if (k < 0) ok = false;
      else pos += k;
      pc++;
      break;
    }
    case OP_DET: {
      int32_t b0 = ptop, cnt = 0, cur = pos;
      bool sat = false;
      ok = ppush(pos);
      while (ok && cnt < I.c) {
        int32_t e = det_match(I.a, cur, steps);
        steps--;
        if (e < 0) break;
        if (e == cur) {
          sat = true; // every further iteration is empty too
          break;
        }
        ok = ppush(e);
        cnt++;
        cur = e;
      }
      if (!ok) break;
      int32_t lowest = I.b;
      if (cnt < I.b) {
        if (!sat) {
          ptop = b0;
          ok = false;
          break;
        }
        lowest = cnt;
      }
      pos = ps[b0 + cnt];
      if (cnt > lowest) ok = push(E_DET, pc, b0, cnt - 1, lowest);
      else ptop = b0;
      pc++;
      break;
    }
    case OP_RSTART:
      ok = set(kRep + 2 * I.a, -1) && set(kRep + 2 * I.a + 1, -1);
      pc = I.b;
      break;
    case OP_UNTIL: {
      int32_t cr = kRep + 2 * I.a, lr = cr + 1;
      int32_t k = regs[cr] + 1;
      if (k < I.c) {
        ok = set(cr, k);
        pc = I.b;
      } else if (I.greedy) {
        if (k < I.d && pos != regs[lr]) {
          ok = set(cr, k) && set(lr, pos) && push(E_CHOICE, pc + 1, pos);
          pc = I.b;
        } else {
          pc++;
        }
      } else {
        ok = push(E_LAZY, pc, k, pos);
        pc++;
      }
      break;
    }
    case OP_LOOK:
      if (I.a && pos - I.c < 0) {
        // Look-behind reaching before the text: its body cannot match.
        if (I.b) pc = I.d;
        else ok = false;
        break;
      }
      ok = push(E_BARRIER, pc, pos, barrier, ptop);
      if (!ok) break;
      barrier = top - 1;
      if (I.a) pos -= I.c;
      pc++;
      break;
    case OP_LOOKEND: {
      Ent B = st[barrier];
      const Inst &L = prog[B.a];
      if (L.a && pos != B.b) {
        ok = false;
        break;
      }
      int32_t b = barrier;
      barrier = B.c;
      ptop = B.d;
      if (!L.b) {
        cut(b);
        pos = B.b;
        pc = L.d;
      } else {
        // The negated body matched: undo it and fail the assertion.
        while (top > b) {
          Ent &e = st[--top];
          if (e.kind == E_RESTORE) regs[e.a] = e.b;
        }
        ok = false;
      }
      break;
    }
    case OP_BREF: {
      int32_t s = regs[2 * I.a], e = regs[2 * I.a + 1];
      if (s < 0 || e - s > n - pos) {
        ok = false;
        break;
      }
      if (rx->icase) {
        for (int32_t q = s; ok && q < e; q++)
          ok = ucd_fold(rx->u, t[q]) == ucd_fold(rx->u, t[pos + q - s]);
      } else {
        for (int32_t q = s; ok && q < e; q++) ok = t[q] == t[pos + q - s];
      }
      steps -= e - s;
      pos += e - s;
      pc++;
      break;
    }
    case OP_MATCH:
      *end = pos;
      *budget = steps;
      return 1;
    }
    if (ok) continue;
    if (failed) return -1;

    // Backtrack to the newest choice point that still has a way to go.
    for (;;) {
      if (top == 0) {
        *budget = steps;
        return 0;
      }
      Ent &e = st[top - 1];
      bool resume = false;
      switch (e.kind) {
      case E_RESTORE:
        regs[e.a] = e.b;
        top--;
        break;
      case E_CHOICE:
        pc = e.a;
        pos = e.b;
        top--;
        resume = true;
        break;
      case E_REP1: {
        const Inst &R = prog[e.a];
        int32_t k = R.greedy ? rep_down(R, e.b, e.c, steps) : rep_up(R, e.b, e.c, steps);
        if (k < 0) {
          top--;
          break;
        }
        pc = e.a + 1;
        pos = e.b + k;
        if (R.greedy) {
          if (k > R.b) e.c = k - 1;
          else top--;
        } else {
          e.c = k;
        }
        resume = true;
        break;
      }
      case E_DET:
        pc = e.a + 1;
        pos = ps[e.b + e.c];
        if (e.c > e.d) {
          e.c--;
        } else {
          ptop = e.b;
          top--;
        }
        resume = true;
        break;
      case E_LAZY: {
        const Inst &U = prog[e.a];
        int32_t k = e.b, p = e.c;
        top--;
        int32_t cr = kRep + 2 * U.a;
        if (k >= U.d || p == regs[cr + 1]) break;
        if (!set(cr, k) || !set(cr + 1, p)) return -1;
        pc = U.b;
        pos = p;
        resume = true;
        break;
      }
      case E_BARRIER: {
        // The look-around body found no match.
        const Inst &L = prog[e.a];
        barrier = e.c;
        ptop = e.d;
        int32_t p = e.b;
        top--;
        if (L.b) {
          pc = L.d;
          pos = p;
          resume = true;
        }
        break;
      }
      }
      if (resume) break;
    }
    if (--steps < 0) {
      limit();
      return -1;
    }
  }
}

void fill(const Vm &vm, int32_t start, int32_t end, int32_t *m) {
  m[0] = m[2] = start;
  m[1] = m[3] = end;
  for (int32_t g = 1; g <= vm.rx->groups; g++) {
    m[2 + 2 * g] = vm.regs[2 * g];
    m[3 + 2 * g] = vm.regs[2 * g + 1];
  }
}

int search(Vm &vm, int32_t start, int32_t *m) {
  const tv_rx *rx = vm.rx;
  const Set *first = rx->first >= 0 ? &rx->sets[rx->first] : nullptr;
  for (int32_t p = start; p <= vm.n; p++) {
    if (*vm.flag) return 0;
    if (first && (p >= vm.n || !set_test(rx, *first, vm.t[p]))) continue;
    int32_t end = 0;
    int r = vm.run(p, &end);
    if (r < 0) return 0;
    if (r > 0) {
      fill(vm, p, end, m);
      return 1;
    }
    if (rx->lead_x >= 0 && p < vm.n && sc_test(rx, rx->scs[rx->lead_x], vm.t[p])) {
      const Sc &y = rx->scs[rx->lead_y];
      while (p + 1 < vm.n && sc_test(rx, y, vm.t[p + 1])) p++;
    }
  }
  return 0;
}

} // namespace

int tv_rx_match_at(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n, int32_t pos,
                   int32_t *m) {
  if (*flag || !rx || !m || n < 0 || pos < 0 || pos > n) return 0;
  int64_t budget = rx->step_limit;
  Vm vm(rx, text, n, flag, &budget);
  if (vm.failed) return 0;
  int32_t end = 0;
  if (vm.run(pos, &end) <= 0) return 0;
  fill(vm, pos, end, m);
  return 1;
}

int tv_rx_search(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n, int32_t start,
                 int32_t *m) {
  if (*flag || !rx || !m || n < 0 || start > n) return 0;
  int64_t budget = rx->step_limit;
  Vm vm(rx, text, n, flag, &budget);
  if (vm.failed) return 0;
  return search(vm, start < 0 ? 0 : start, m);
}

int tv_rx_next(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n, int32_t *pos,
               int32_t *m) {
  if (!pos || *pos > n) return 0;
  if (!tv_rx_search(flag, rx, text, n, *pos, m)) return 0;
  *pos = m[1] == m[0] ? m[1] + 1 : m[1];
  return 1;
}

void rxm_put(uint32_t *flag, u32s *out, const int32_t *m, const uint32_t *text, int32_t g) {
  int32_t s = m[2 + 2 * g], e = m[3 + 2 * g];
  if (s >= 0 && e >= s) u32s_put(flag, out, text + s, e - s);
}

void tv_rx_sub(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n,
               tv_rx_replace_fn replace, void *context, u32s *out) {
  if (!rx || n < 0) return;
  int64_t budget = rx->step_limit;
  Vm vm(rx, text, n, flag, &budget);
  if (vm.failed) return;
  int32_t m[TV_RX_MREC];
  int32_t s = 0, c = 0;
  while (!*flag && s <= n) {
    if (!search(vm, s, m)) break;
    u32s_put(flag, out, text + c, m[0] - c);
    if (replace) replace(flag, context, m, text, out);
    if (m[1] == m[0]) {
      if (m[0] < n) {
        u32s_push(flag, out, text[m[0]]);
        c = m[0] + 1;
      } else {
        c = m[1];
      }
      s = m[1] + 1;
    } else {
      c = s = m[1];
    }
  }
  if (c < n) u32s_put(flag, out, text + c, n - c);
}

static void span_add(uint32_t *flag, tv_rx_spans *r, int32_t a, int32_t b) {
  if (r->n >= r->cap) {
    int64_t cap = r->cap ? (int64_t)r->cap * 2 : 8;
    void *p = cap > INT32_MAX / 2 ? NULL : realloc(r->p, (size_t)cap * 2 * sizeof(int32_t));
    if (!p) {
      fx_fail(flag, FX_NOMEM);
      return;
    }
    r->p = (int32_t *)p;
    r->cap = (int32_t)cap;
  }
  r->p[2 * r->n] = a;
  r->p[2 * r->n + 1] = b;
  r->n++;
}

void tv_rx_split(uint32_t *flag, const tv_rx *rx, const uint32_t *text, int32_t n,
                 tv_rx_spans *result) {
  result->n = 0;
  if (!rx || n < 0) return;
  int64_t budget = rx->step_limit;
  Vm vm(rx, text, n, flag, &budget);
  if (vm.failed) return;
  int32_t m[TV_RX_MREC];
  int32_t p = 0, s = 0;
  while (!*flag && p <= n) {
    if (!search(vm, s, m)) break;
    if (m[1] == m[0]) {
      if (m[0] >= n) break;
      s = m[0] + 1;
      continue;
    }
    span_add(flag, result, p, m[0]);
    for (int32_t g = 1; g <= rx->groups; g++) {
      int32_t a = m[2 + 2 * g], b = m[3 + 2 * g];
      if (a < 0) span_add(flag, result, 0, 0);
      else span_add(flag, result, a, b);
    }
    p = s = m[1];
  }
  span_add(flag, result, p, n);
}

void tv_rx_spans_free(tv_rx_spans *s) {
  free(s->p);
  s->p = NULL;
  s->n = s->cap = 0;
}
