// libFuzzer custom mutator for model files: besides libFuzzer's byte mutations, edits that keep a
// file readable (a field replaced by an extreme value, a keyword, a scaled number or another field of
// the same file; a line duplicated, dropped or moved into another section), so that most inputs load
// and run and the solvers, not only the reader, see hostile values.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

// Numbers that reach the edges of the physics and of the number formats, and the keywords that switch
// an element's behaviour (check valves, valve types, statuses, control conditions, transient options).
constexpr std::string_view kNumbers[] = {
    "0", "-1", "1e-9", "1e-300", "0.1", "1", "10", "1000", "1e6", "1e9", "1e154", "1e307", "-1e6",
};
constexpr std::string_view kKeywords[] = {
    "CV", "OPEN", "CLOSED", "PSV", "PRV", "PBV", "FCV", "TCV", "GPV", "YES", "NO", "ORIFICE", "FIXED",
    "SPEED", "HEAD", "POWER", "BELOW", "ABOVE", "IF", "AT", "TIME", "CLOCKTIME",
};
// Lines that switch on a whole behaviour when copied into a file.
constexpr std::string_view kSectionLines[] = {
    "[TRANSIENT]\nCOLUMNSEPARATION YES\n", "[TRANSIENT]\nDEMANDS ORIFICE\n", "[TRANSIENT]\nVAPOURPRESSURE 2\n",
    "[TRANSIENT]\nTIMESTEP 0.001\n", "[OPTIONS]\nHEADLOSS D-W\n", "[OPTIONS]\nHEADLOSS C-M\n",
    "[OPTIONS]\nUNBALANCED CONTINUE\n", "[OPTIONS]\nUNITS CFS\n", "[OPTIONS]\nUNITS LPS\n",
};
// One mutation in this many is libFuzzer's own (bytes, dictionary words); the others keep the file's shape.
constexpr unsigned kByteMutationOneIn = 3;
constexpr int kScaleUp = 10;
constexpr double kScaleDown = 0.1;

enum class Edit { Field, FieldAgain, FieldOnceMore, DuplicateLine, DropLine, MoveLine, AddSection, Count };

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t stop = end == std::string_view::npos ? text.size() : end;
        lines.emplace_back(text.substr(start, stop - start));
        start = stop + 1;
    }
    return lines;
}

// Positions [begin, end) of the blank-separated fields of a line.
std::vector<std::pair<std::size_t, std::size_t>> fields_of(const std::string& line) {
    std::vector<std::pair<std::size_t, std::size_t>> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
        if (i >= line.size() || line[i] == ';') break;
        const std::size_t begin = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != ';') ++i;
        fields.emplace_back(begin, i);
    }
    return fields;
}

std::string scaled(const std::string& field, bool up) {
    char* end = nullptr;
    const double value = std::strtod(field.c_str(), &end);
    if (end == field.c_str()) return field;
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", up ? value * kScaleUp : value * kScaleDown);
    return text;
}

std::string join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + '\n';
    return text;
}

// One structural edit of the model text; the text unchanged when the file gives it nothing to act on.
std::string edit(std::string_view input, std::minstd_rand& random) {
    std::vector<std::string> lines = split_lines(input);
    if (lines.empty()) return std::string(kSectionLines[random() % std::size(kSectionLines)]);
    const auto pick = [&random](std::size_t count) { return static_cast<std::size_t>(random() % count); };
    const std::size_t chosen = pick(lines.size());
    std::string& line = lines[chosen];
    const auto fields = fields_of(line);
    switch (static_cast<Edit>(pick(static_cast<std::size_t>(Edit::Count)))) {
        case Edit::Field:  // field edits are the most fruitful: three cases of seven
        case Edit::FieldAgain:
        case Edit::FieldOnceMore: {
            if (fields.empty() || line[fields[0].first] == '[') break;
            const auto [begin, end] = fields[pick(fields.size())];
            const std::string field = line.substr(begin, end - begin);
            // A number stays a number (most fields are numbers, and a keyword there only fails the read).
            char* number_end = nullptr;
            const bool numeric = std::strtod(field.c_str(), &number_end) != 0.0 || number_end != field.c_str();
            std::string replacement = numeric ? std::string(kNumbers[pick(std::size(kNumbers))])
                                              : std::string(kKeywords[pick(std::size(kKeywords))]);
            const std::size_t mode = pick(3);
            if (mode == 1 && numeric) replacement = scaled(field, random() % 2 == 0);
            if (mode == 2) {  // a field of another line: an identifier or a value in another place
                const std::string& other = lines[pick(lines.size())];
                const auto other_fields = fields_of(other);
                if (!other_fields.empty()) {
                    const auto [ob, oe] = other_fields[pick(other_fields.size())];
                    replacement = other.substr(ob, oe - ob);
                }
            }
            line.replace(begin, end - begin, replacement);
            break;
        }
        case Edit::DuplicateLine: lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size())), line); break;
        case Edit::DropLine: lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size()))); break;
        case Edit::MoveLine: {  // into another section, or out of its own
            const std::string moved = line;
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(chosen));
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size() + 1)), moved);
            break;
        }
        case Edit::AddSection: lines.emplace_back(kSectionLines[pick(std::size(kSectionLines))]); break;
        case Edit::Count: break;
    }
    return join(lines);
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size, unsigned int seed) {
    std::minstd_rand random(seed);
    if (random() % kByteMutationOneIn == 0) return LLVMFuzzerMutate(data, size, max_size);
    const std::string text = edit(std::string_view(reinterpret_cast<const char*>(data), size), random);
    if (text.size() > max_size) return LLVMFuzzerMutate(data, size, max_size);
    std::copy(text.begin(), text.end(), data);
    return text.size();
}
