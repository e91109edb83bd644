// Every pattern of the front end over 5000 characters of ordinary English.
// The goal is under 5 ms in total on one thread for a search of each pattern;
// the full iteration (every match, as substitution walks them) is measured
// beside it.
//   rx_bench [--unicode <unicode.bin>] [benchmark flags]
// Without --unicode the table is built from /usr/share/unicode.
#include <benchmark/benchmark.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/rx_front_patterns.h"
#include "front/rx.h"
#include "front/ucdgen.h"

namespace {

ucd g_ucd;
std::vector<tv_rx *> g_rx;
std::vector<uint32_t> g_text;

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

void search_all(benchmark::State &st) {
  int32_t m[TV_RX_MREC];
  for (auto _ : st) {
    int found = 0;
    for (tv_rx *rx : g_rx) {
      uint32_t fl = 0;
      found += tv_rx_search(&fl, rx, g_text.data(), (int32_t)g_text.size(), 0, m);
    }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(search_all)->Unit(benchmark::kMillisecond);

void iterate_all(benchmark::State &st) {
  int32_t m[TV_RX_MREC];
  for (auto _ : st) {
    int found = 0;
    for (tv_rx *rx : g_rx) {
      uint32_t fl = 0;
      int32_t pos = 0;
      while (tv_rx_next(&fl, rx, g_text.data(), (int32_t)g_text.size(), &pos, m)) found++;
    }
    benchmark::DoNotOptimize(found);
  }
}
BENCHMARK(iterate_all)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  std::string path;
  for (int i = 1; i + 1 < argc; i++) {
    if (!strcmp(argv[i], "--unicode")) {
      path = argv[i + 1];
      memmove(argv + i, argv + i + 2, sizeof(char *) * (argc - i - 1));
      argc -= 2;
      break;
    }
  }
  if (path.empty()) {
    path = "/tmp/rx_bench_unicode_" + std::to_string(getpid()) + ".bin";
    if (tv_ucd_build("/usr/share/unicode", path.c_str()) != 0) {
      fprintf(stderr, "rx_bench: %s\n", tv_geterr());
      return 1;
    }
  }
  if (ucd_load(&g_ucd, path.c_str()) != 0) {
    fprintf(stderr, "rx_bench: %s\n", tv_geterr());
    return 1;
  }
  if (path.rfind("/tmp/rx_bench_unicode_", 0) == 0) unlink(path.c_str());
  for (const FrontPattern &p : kFrontPatterns) {
    tv_rx *rx = tv_rx_compile(&g_ucd, p.pattern, p.flags);
    if (!rx) {
      fprintf(stderr, "rx_bench: %s\n", tv_geterr());
      return 1;
    }
    g_rx.push_back(rx);
  }
  std::string text = english();
  uint32_t fl = 0;
  u32s t = {};
  u32s_utf8(&fl, &t, text.data(), text.size());
  g_text.assign(t.p, t.p + t.n);
  u32s_free(&t);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  for (tv_rx *rx : g_rx) tv_rx_free(rx);
  ucd_free(&g_ucd);
  return 0;
}
