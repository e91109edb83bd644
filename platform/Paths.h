#pragma once
// Where the program keeps its files, following the XDG base directories.
#include <string>

namespace tovan {

struct Paths {
  // $XDG_CONFIG_HOME/TovanTTS (else ~/.config/TovanTTS): settings.
  static std::string config();
  // $XDG_DATA_HOME/TovanTTS (else ~/.local/share/TovanTTS): the library and other data.
  static std::string support();
  // $XDG_CACHE_HOME/TovanTTS (else ~/.cache/TovanTTS): audio items and other caches.
  static std::string caches();
};

}  // namespace tovan
