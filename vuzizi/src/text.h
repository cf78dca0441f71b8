// Text helpers: case-insensitive keywords and the fixed-length fields of the C interface.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vuzizi {

bool equals_ignoring_case(std::string_view a, std::string_view b);
// True when `text` starts with `prefix`, ignoring case.
bool starts_with_ignoring_case(std::string_view text, std::string_view prefix);
std::string to_upper(std::string_view text);
std::string_view trim(std::string_view text);
// The text between single quotes, for messages.
std::string quoted(std::string_view text);

// Text of a field of `field_len` bytes: up to its first zero byte, without trailing blanks.
std::string text_from_field(const char* field, std::size_t field_len);

// Identifier field: the text, a zero byte at its end, blanks to `field_len`.
// A text longer than field_len - 1 is cut.
void write_id_field(char* field, std::size_t field_len, std::string_view text);

// Name field: the text then blanks to `field_len`, no zero byte.
void write_blank_padded(char* field, std::size_t field_len, std::string_view text);

}  // namespace vuzizi
