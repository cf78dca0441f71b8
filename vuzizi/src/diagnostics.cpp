// Message lines of the engine.
#include "diagnostics.h"

#include <iostream>
#include <sstream>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace vuzizi {
namespace {

// On Windows the library's C runtime keeps the standard error it found at start-up, while the
// process (a Python that redirects its standard error, for one) may have replaced the handle since:
// lines to the standard error go to the process's current handle.
void write_standard_error(const std::string& line) {
#ifdef _WIN32
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        return;
    }
#endif
    std::cerr << line;
    std::cerr.flush();
}

}  // namespace

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
    std::ostringstream line;
    std::ostream& out = out_ == &std::cerr ? line : *out_;
    out << "vuzizi: ";
    if (!where.file.empty()) {
        out << where.file;
        if (where.line > 0) out << ':' << where.line;
        out << ": ";
    }
    out << kind << ": " << message << '\n';
    if (out_ == &std::cerr) {
        write_standard_error(line.str());
    } else {
        out.flush();
    }
}

}  // namespace vuzizi
