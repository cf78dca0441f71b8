// Error codes of the engine and their texts, generated from errors.def.
#pragma once

#include <cstdint>

namespace vuzizi {

enum class Error : int32_t {
#define VUZIZI_ERROR(name, code, text) name = code,
#include "errors.def"
#undef VUZIZI_ERROR
};

// Text of an error code; "unknown error" for a code not in the table.
const char* error_text(Error error);

inline int32_t error_code(Error error) { return static_cast<int32_t>(error); }

}  // namespace vuzizi
