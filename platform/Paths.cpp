#include "Paths.h"

#include <stdlib.h>

namespace tovan {
namespace {

std::string base(const char *var, const char *fallback) {
  const char *v = getenv(var);
  if (v && v[0] == '/') return std::string(v) + "/TovanTTS";
  const char *home = getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + fallback + "/TovanTTS";
}

}  // namespace

std::string Paths::config() { return base("XDG_CONFIG_HOME", "/.config"); }
std::string Paths::support() { return base("XDG_DATA_HOME", "/.local/share"); }
std::string Paths::caches() { return base("XDG_CACHE_HOME", "/.cache"); }

}  // namespace tovan
