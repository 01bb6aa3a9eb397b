#include "clock_word.h"

#include <algorithm>

namespace plovan {

std::optional<std::string> intClkWord(std::string_view typed)
{
    const bool hex = std::all_of(typed.begin(), typed.end(),
                                 [](char c) { return kIntClkKeys.find(c) != std::string_view::npos; });
    if (!hex) return std::nullopt;
    std::string word(typed.substr(0, kIntClkDigits));
    word.insert(0, kIntClkDigits - word.size(), '0');
    std::transform(word.begin(), word.end(), word.begin(),
                   [](char c) { return c >= 'a' && c <= 'f' ? char(c - 'a' + 'A') : c; });
    return word;
}

} // namespace plovan
