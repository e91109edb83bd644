#include "ScreenLock.h"

#include "LinuxScreenLock.h"

namespace tovan {

std::unique_ptr<ScreenLock> ScreenLock::system() { return std::make_unique<LinuxScreenLock>(); }

}  // namespace tovan
