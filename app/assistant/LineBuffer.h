#pragma once
// Cuts a child's output into lines: bytes after the last newline wait for the
// next chunk. A carriage return stays part of its line; an empty line is an
// empty element. A line longer than MAX_LINE is dropped whole, so a child
// that never ends its line cannot fill the memory.

#include <string>
#include <string_view>
#include <vector>

namespace tovan {

class LineBuffer {
public:
    static constexpr size_t MAX_LINE = 1 << 20;

    // The complete lines that this chunk finishes, in order.
    std::vector<std::string> lines(std::string_view chunk);
    // Bytes received after the last newline.
    const std::string& data() const { return data_; }

private:
    std::string data_;
    bool dropping_ = false;  // inside an over-long line: skip to its newline
};

}  // namespace tovan
