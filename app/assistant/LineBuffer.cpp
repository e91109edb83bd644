#include "LineBuffer.h"

namespace tovan {

std::vector<std::string> LineBuffer::lines(std::string_view chunk) {
    std::vector<std::string> out;
    if (dropping_) {
        const size_t nl = chunk.find('\n');
        if (nl == std::string_view::npos)
            return out;
        dropping_ = false;
        chunk.remove_prefix(nl + 1);
    }
    data_.append(chunk);
    size_t from = 0;
    for (size_t nl = data_.find('\n'); nl != std::string::npos; nl = data_.find('\n', from)) {
        if (nl - from <= MAX_LINE)
            out.emplace_back(data_, from, nl - from);
        from = nl + 1;
    }
    data_.erase(0, from);  // once per chunk, so many short lines stay linear
    if (data_.size() > MAX_LINE) {
        data_.clear();
        dropping_ = true;
    }
    return out;
}

}  // namespace tovan
