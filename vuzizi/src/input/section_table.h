// The table of model-file sections: name, processing phase and line handler.
// A source file adds its own sections with a static SectionRegistration.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vuzizi {

struct ParseContext;

// One data line of a section, split into blank-separated tokens; `comment` is the text after ';'.
struct SectionLine {
    std::span<const std::string_view> tokens;
    std::string_view comment;
    int line = 0;
};

using SectionHandler = void (*)(ParseContext& context, const SectionLine& line);
// Called once after every section has been read, whether or not the section was present.
using SectionFinisher = void (*)(ParseContext& context);

// Sections are processed phase by phase (lines of one phase in file order), so a section may
// refer to what an earlier phase defines wherever it stands in the file.
enum SectionPhase : int {
    kPhaseSettings = 0,   // options and times: units are known before any value is read
    kPhaseTables = 1,     // curves and patterns
    kPhaseNodes = 2,
    kPhaseLinks = 3,
    kPhaseElementData = 4,  // demands, status, coordinates: refer to nodes and links
    kPhaseExtensions = 5,   // sections of other parts of the engine
    kPhaseCount = 6
};

struct SectionEntry {
    std::string name;            // upper case, without brackets
    int phase = kPhaseSettings;
    SectionHandler handler = nullptr;    // nullptr: accepted and not used
    SectionFinisher finisher = nullptr;
};

// Adds a section, or replaces the entry of that name.
void register_section(SectionEntry entry);
// The entry of a section name (any case), or nullptr.
const SectionEntry* find_section(std::string_view name);
const std::vector<SectionEntry>& all_sections();

struct SectionRegistration {
    SectionRegistration(const char* name, int phase, SectionHandler handler,
                        SectionFinisher finisher = nullptr) {
        register_section(SectionEntry{name, phase, handler, finisher});
    }
};

}  // namespace vuzizi
