// Model reader: splits the text into sections and lines, then runs the section handlers
// phase by phase.
#include "model_reader.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <new>
#include <span>
#include <string>

#include "parse_context.h"
#include "text.h"

namespace vuzizi {
namespace {

constexpr char kCommentMark = ';';
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";  // written first by some editors
constexpr std::string_view kEndSection = "END";

// A data line kept for its phase; its tokens lie in the reader's one token pool, which holds the
// tokens of every line (one allocation for the whole file, not one per line).
struct StoredLine {
    const SectionEntry* section;
    std::size_t first_token;
    std::size_t token_count;
    std::string_view comment;
    int line;
};

using Phases = std::array<std::vector<StoredLine>, kPhaseCount>;

// Appends the blank-separated tokens of `text` to `tokens`.
void split_tokens(std::string_view text, std::vector<std::string_view>& tokens) {
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t' && text[i] != '\r') ++i;
        if (i > start) tokens.push_back(text.substr(start, i - start));
    }
}

// Splits `text` into lines; views into `text`.
std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Reading stops at [END]; a section placed after it would be lost unseen, so each header there
// gets a warning at its line.
void warn_of_sections_after_end(const std::vector<std::string_view>& lines, std::size_t first, ParseContext& context) {
    for (std::size_t n = first; n < lines.size(); ++n) {
        std::string_view content = lines[n];
        content = trim(content.substr(0, content.find(kCommentMark)));
        if (content.empty() || content.front() != '[') continue;
        context.line = static_cast<int>(n + 1);
        const std::size_t close = content.find(']');
        const std::string_view header = close == std::string_view::npos ? content : content.substr(0, close + 1);
        context.warning("section " + std::string(header) + " comes after [END] and is not read");
    }
}

void read_lines(std::string_view text, ParseContext& context, Phases& phases, std::vector<std::string_view>& tokens) {
    const SectionEntry* section = nullptr;
    bool in_unknown_section = false;
    if (text.substr(0, kUtf8Mark.size()) == kUtf8Mark) text.remove_prefix(kUtf8Mark.size());
    const auto lines = split_lines(text);
    for (std::size_t n = 0; n < lines.size(); ++n) {
        context.line = static_cast<int>(n + 1);
        std::string_view raw = lines[n];
        std::string_view comment;
        if (const std::size_t mark = raw.find(kCommentMark); mark != std::string_view::npos) {
            comment = trim(raw.substr(mark + 1));
            raw = raw.substr(0, mark);
        }
        const std::string_view content = trim(raw);
        if (content.empty()) continue;
        if (content.front() == '[') {
            const std::size_t close = content.find(']');
            if (close == std::string_view::npos) {
                context.error(Error::Syntax, "section header '" + std::string(content) + "' has no closing ']'");
                section = nullptr;
                in_unknown_section = true;
                continue;
            }
            const std::string_view name = trim(content.substr(1, close - 1));
            // Only a comment may follow the header: data there would otherwise be lost unseen.
            if (const std::string_view rest = trim(content.substr(close + 1)); !rest.empty())
                context.error(Error::Syntax, "text after the section header '" + std::string(content.substr(0, close + 1)) +
                                                 "': '" + std::string(rest) + "'");
            if (equals_ignoring_case(name, kEndSection)) {
                warn_of_sections_after_end(lines, n + 1, context);
                return;
            }
            section = find_section(name);
            in_unknown_section = section == nullptr;
            if (in_unknown_section)
                context.error(Error::UnknownSection, std::string("[").append(name).append("]"));
            else if (section->handler == nullptr)
                context.trace("section [" + section->name + "] is not used by the engine");
            continue;
        }
        if (in_unknown_section) continue;
        if (section == nullptr) {
            context.error(Error::Syntax, "data before the first section header");
            in_unknown_section = true;  // one message is enough
            continue;
        }
        if (section->handler == nullptr) continue;
        const std::size_t first = tokens.size();
        split_tokens(content, tokens);
        phases[section->phase].push_back(StoredLine{section, first, tokens.size() - first, comment, context.line});
    }
}

}  // namespace

ReadResult read_model_text(std::string_view text, std::string_view name, Diagnostics& diagnostics) {
    ReadResult result;
    diagnostics.reset_counts();
    try {
        auto network = std::make_unique<Network>();
        ParseContext context{*network, diagnostics, name, 0};
        Phases phases;
        std::vector<std::string_view> tokens;
        read_lines(text, context, phases, tokens);
        const std::span<const std::string_view> all_tokens(tokens);
        // Every line of the node and link phases defines at most one element.
        network->reserve(phases[kPhaseNodes].size(), phases[kPhaseLinks].size());
        for (int phase = 0; phase < kPhaseCount; ++phase) {
            for (const StoredLine& stored : phases[phase]) {
                context.line = stored.line;
                const SectionLine line{all_tokens.subspan(stored.first_token, stored.token_count), stored.comment,
                                       stored.line};
                stored.section->handler(context, line);
            }
            if (phase == kPhaseSettings) update_units(*network);
        }
        context.line = 0;
        for (const SectionEntry& entry : all_sections())
            if (entry.finisher != nullptr) entry.finisher(context);
        if (diagnostics.error_count() == 0) check_network(*network, name, diagnostics);
        if (diagnostics.error_count() == 0) result.network = std::move(network);
    } catch (const std::bad_alloc&) {
        diagnostics.error({name, 0}, Error::OutOfMemory, "while reading the model");
    }
    if (diagnostics.error_count() != 0) {
        result.error = diagnostics.first_error();
    }
    return result;
}

ReadResult read_model_file(const std::string& path, Diagnostics& diagnostics) {
    std::error_code ignored;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, ignored)) in.open(path, std::ios::binary);
    if (!in.is_open()) {
        diagnostics.error({path, 0}, Error::FileNotFound, path);
        return ReadResult{Error::FileNotFound, nullptr};
    }
    // Read in one piece into a string of the file's size (no stream buffer copies of a large model).
    std::string text;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size > 0) {
        try {
            text.resize(static_cast<std::size_t>(size));
        } catch (const std::bad_alloc&) {
            diagnostics.error({path, 0}, Error::OutOfMemory, "while reading the model file");
            return ReadResult{Error::OutOfMemory, nullptr};
        }
        in.read(text.data(), size);
    }
    if (size < 0 || in.bad() || (size > 0 && in.gcount() != size)) {
        diagnostics.error({path, 0}, Error::ReadFailed, path);
        return ReadResult{Error::ReadFailed, nullptr};
    }
    return read_model_text(text, path, diagnostics);
}

}  // namespace vuzizi
