// Text helpers.
#include "text.h"

#include <algorithm>
#include <cstring>

namespace vuzizi {
namespace {

constexpr char kBlank = ' ';

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equals_ignoring_case(text.substr(0, prefix.size()), prefix);
}

std::string to_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = upper(c);
    return out;
}

std::string quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '\'';
    out += text;
    out += '\'';
    return out;
}

std::string_view trim(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && is_space(text[begin])) ++begin;
    while (end > begin && is_space(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

std::string text_from_field(const char* field, std::size_t field_len) {
    const void* zero = std::memchr(field, '\0', field_len);
    std::size_t len = zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : field_len;
    while (len > 0 && field[len - 1] == kBlank) --len;
    return std::string(field, len);
}

void write_id_field(char* field, std::size_t field_len, std::string_view text) {
    if (field_len == 0) return;
    const std::size_t n = std::min(text.size(), field_len - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
    std::memset(field + n + 1, kBlank, field_len - n - 1);
}

void write_blank_padded(char* field, std::size_t field_len, std::string_view text) {
    const std::size_t n = std::min(text.size(), field_len);
    std::memcpy(field, text.data(), n);
    std::memset(field + n, kBlank, field_len - n);
}

}  // namespace vuzizi
