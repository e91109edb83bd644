// Where the tests find the generator and the model directories it wrote into
// the build tree (programs in build/bin, models in build/engine/models).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <string>

inline std::string build_dir() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string p(buf, (size_t)n);
  size_t slash = p.rfind('/');
  return slash == std::string::npos ? "." : p.substr(0, slash);
}

/* TOVANTTS_TINY_MODEL, else the build tree's models/<name>. */
inline std::string model_dir(const char *name = "tiny") {
  if (std::string(name) == "tiny") {
    const char *env = getenv("TOVANTTS_TINY_MODEL");
    if (env && *env) return env;
  }
  return build_dir() + "/../engine/models/" + name;
}

inline std::string mkmodel_tool() { return build_dir() + "/tovan-mkmodel"; }
