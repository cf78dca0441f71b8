// Texts of the error table.
#include "errors.h"

namespace vuzizi {

const char* error_text(Error error) {
    switch (error) {
#define VUZIZI_ERROR(name, code, text) \
    case Error::name:                  \
        return text;
#include "errors.def"
#undef VUZIZI_ERROR
    }
    return "unknown error";
}

}  // namespace vuzizi
