#include "line_assembler.h"

namespace plovan::sim {

std::string LineAssembler::take(std::string_view bytes)
{
    std::string lines;
    for (char c : bytes) {
        if (c == '\r' || c == '\n') {
            lines += held_;
            lines += c;
            held_.clear();
        }
        else if (held_.size() < kMaxLineLength) {
            held_.push_back(c);
        }
        else {
            held_.clear();
        }
    }
    return lines;
}

} // namespace plovan::sim
