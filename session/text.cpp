// Fixed-length text field helpers.
#include "text.h"

#include <algorithm>
#include <cstring>

namespace session {

int trimmed_length(const char* text, int len) {
    while (len > 0 && text[len - 1] == kBlank) --len;
    return std::max(len, 0);
}

void copy_padded(char* field, int width, const char* text, int len) {
    const int n = std::clamp(len, 0, width);
    if (n > 0) std::memcpy(field, text, static_cast<std::size_t>(n));
    std::memset(field + n, kBlank, static_cast<std::size_t>(width - n));
}

void fill_identifier(char* field, int width, const char* text, int len) {
    copy_padded(field, width, text, len);
    const int t = trimmed_length(text, len);
    if (t < width) field[t] = '\0';
}

bool equals_padded(const char* text, int len, std::string_view word) {
    const std::size_t n = len > 0 ? static_cast<std::size_t>(len) : 0;
    const std::size_t common = std::min(n, word.size());
    if (std::memcmp(text, word.data(), common) != 0) return false;
    for (std::size_t i = common; i < n; ++i)
        if (text[i] != kBlank) return false;
    for (std::size_t i = common; i < word.size(); ++i)
        if (word[i] != kBlank) return false;
    return true;
}

}  // namespace session
