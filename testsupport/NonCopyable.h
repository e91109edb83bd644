// A base for the helpers that own something outside the program (a folder, a
// server process): a copy would free it twice.
#pragma once

namespace tovan::test {

class NonCopyable {
protected:
    NonCopyable() = default;
    ~NonCopyable() = default;

public:
    NonCopyable(const NonCopyable&) = delete;
    NonCopyable& operator=(const NonCopyable&) = delete;
};

}  // namespace tovan::test
