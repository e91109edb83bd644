// The text front end on 5000 characters of ordinary English: the goal is
// under 20 ms for tv_front_phonemes on one thread.
//   front_bench [--front <asset dir>] [benchmark flags]
// Without --front the development model's folder beside the program is used.
#include <benchmark/benchmark.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "front/frontend.h"
#include "front/markup.h"
#include "runtime/error.h"

namespace {

tv_front *g_front;
std::string g_text;

// English prose that every Debian system has; a fixed passage otherwise.
std::string english() {
  std::ifstream in("/usr/share/common-licenses/GPL-3");
  std::stringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  size_t at = s.find("The GNU General Public License is a free");
  if (at == std::string::npos) {
    s.clear();
    while (s.size() < 6000)
      s += "The river ran quietly past the old mill, where the miller's children played "
           "among the sacks of flour. In the evening, at 7:30 pm, their mother called them in. ";
    at = 0;
  }
  return s.substr(at, 5000);
}

std::string beside_program(const char *rel) {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string p = n > 0 ? std::string(buf, (size_t)n) : ".";
  return p.substr(0, p.rfind('/')) + "/" + rel;
}

void phonemes(benchmark::State &st) {
  tv_phonemes p = {};
  for (auto _ : st) {
    if (tv_front_phonemes(g_front, g_text.c_str(), &p) != 0) st.SkipWithError(tv_geterr());
    benchmark::DoNotOptimize(p.count);
  }
  st.counters["symbols"] = p.count;
  tv_phonemes_free(&p);
}
BENCHMARK(phonemes)->Unit(benchmark::kMillisecond);

void normalize(benchmark::State &st) {
  for (auto _ : st) {
    char *n = tv_front_normalize(g_front, g_text.c_str());
    benchmark::DoNotOptimize(n);
    tv_free(n);
  }
}
BENCHMARK(normalize)->Unit(benchmark::kMillisecond);

void markup(benchmark::State &st) {
  // The last word of every sentence emphasised: the parser counts the words
  // of each sentence before it.
  std::string t;
  for (size_t at = 0; at < g_text.size();) {
    size_t dot = g_text.find(". ", at);
    if (dot == std::string::npos) dot = g_text.size();
    std::string s = g_text.substr(at, dot - at);
    size_t sp = s.find_last_of(" \n");
    if (sp != std::string::npos && sp + 1 < s.size()) s = s.substr(0, sp + 1) + "*" + s.substr(sp + 1) + "*";
    t += s + ". ";
    at = dot + 2;
  }
  for (auto _ : st) {
    tv_segment *s = NULL;
    int32_t n = 0;
    if (tv_front_parse_markup(g_front, t.c_str(), NULL, NULL, NULL, 0, NULL, 0, NULL, NULL, &s, &n) != 0)
      st.SkipWithError(tv_geterr());
    tv_segments_free(s, n);
  }
}
BENCHMARK(markup)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  std::string dir = beside_program("models/dev/native/front");
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "--front") == 0 && i + 1 < argc) {
      dir = argv[i + 1];
      for (int k = i; k + 2 <= argc; k++) argv[k] = argv[k + 2];
      argc -= 2;
      break;
    }
  }
  g_front = tv_front_load(dir.c_str());
  if (!g_front) {
    fprintf(stderr, "front_bench: %s\n", tv_geterr());
    return 1;
  }
  g_text = english();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  tv_front_free(g_front);
  return 0;
}
