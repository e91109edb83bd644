// Where the tests find the generator and the model directories it wrote into
// the build tree (programs in build/bin, models in build/engine/models).
#pragma once

#include <stdlib.h>

#include <string>

#include "TestPaths.h"

/* TOVANTTS_TINY_MODEL, else the build tree's models/<name>. */
inline std::string model_dir(const char *name = "tiny") {
  if (std::string(name) == "tiny") {
    const char *env = getenv("TOVANTTS_TINY_MODEL");
    if (env && *env) return env;
  }
  return tovan::test::modelDir(name).string();
}

inline std::string mkmodel_tool() { return (tovan::test::programDir() / "tovan-mkmodel").string(); }
