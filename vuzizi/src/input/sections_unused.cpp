// Sections of the model-file layout that the engine accepts and does not use.
#include "parse_context.h"

namespace vuzizi {
namespace {

struct UnusedSections {
    UnusedSections() {
        for (const char* name : {"ENERGY", "QUALITY", "REACTIONS", "SOURCES", "MIXING",
                                 "REPORT", "LABELS", "BACKDROP", "TAGS", "EMITTERS", "LEAKAGE"})
            register_section(SectionEntry{name, kPhaseSettings, nullptr, nullptr});
    }
};

const UnusedSections kUnused;

}  // namespace
}  // namespace vuzizi
