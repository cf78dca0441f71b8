// Fixed-length text fields: blank-padded copies, trimmed lengths, blank-extended comparison.
#pragma once

#include <string_view>

namespace session {

inline constexpr char kBlank = ' ';

// Trimmed length: the length without trailing blanks (only code 32 counts; 0 for a length <= 0).
int trimmed_length(const char* text, int len);

// Copies as many leading characters of `text` as fit into `field` and fills the rest with blanks.
void copy_padded(char* field, int width, const char* text, int len);

// Identifier field: the text copied blank-padded, then a zero byte at its trimmed length
// when that length is below the width.
void fill_identifier(char* field, int width, const char* text, int len);

// Equality in which the shorter text counts as followed by blanks.
bool equals_padded(const char* text, int len, std::string_view word);

// A code table row: a word and the code it stands for.
template <typename Code>
struct WordCode {
    std::string_view word;
    Code code;
};

// Looks `text` up in a word table; true and the code when a word equals it.
template <typename Code, std::size_t N>
bool find_word(const WordCode<Code> (&table)[N], const char* text, int len, Code& code) {
    for (const auto& row : table) {
        if (equals_padded(text, len, row.word)) {
            code = row.code;
            return true;
        }
    }
    return false;
}

}  // namespace session
