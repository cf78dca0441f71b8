// Message lines of the engine.
#include "diagnostics.h"

#include <iostream>

namespace vuzizi {

Diagnostics::Diagnostics(int32_t level) : level_(level), out_(&std::cerr) {}

Diagnostics::Diagnostics(int32_t level, std::ostream& out) : level_(level), out_(&out) {}

void Diagnostics::error(Location where, Error code, std::string_view detail) {
    if (errors_ == 0) first_ = code;
    ++errors_;
    if (level_ < kLevelErrors) return;
    std::string message = error_text(code);
    if (!detail.empty()) {
        message += ": ";
        message += detail;
    }
    write("error " + std::to_string(error_code(code)), where, message);
}

void Diagnostics::warning(Location where, std::string_view message) {
    if (level_ >= kLevelWarnings) write("warning", where, message);
}

void Diagnostics::alert(Location where, std::string_view message) {
    if (level_ >= kLevelErrors) write("warning", where, message);
}

void Diagnostics::trace(Location where, std::string_view message) {
    if (level_ >= kLevelTraces) write("trace", where, message);
}

void Diagnostics::write(std::string_view kind, Location where, std::string_view message) {
    std::ostream& out = *out_;
    out << "vuzizi: ";
    if (!where.file.empty()) {
        out << where.file;
        if (where.line > 0) out << ':' << where.line;
        out << ": ";
    }
    out << kind << ": " << message << '\n';
    out.flush();
}

}  // namespace vuzizi
