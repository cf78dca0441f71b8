// The section table, built on first use so registrations from any source file find it ready.
#include "section_table.h"

#include "text.h"

namespace vuzizi {
namespace {

std::vector<SectionEntry>& table() {
    static std::vector<SectionEntry> entries;
    return entries;
}

}  // namespace

void register_section(SectionEntry entry) {
    entry.name = to_upper(entry.name);
    for (SectionEntry& existing : table()) {
        if (existing.name == entry.name) {
            existing = std::move(entry);
            return;
        }
    }
    table().push_back(std::move(entry));
}

const SectionEntry* find_section(std::string_view name) {
    for (const SectionEntry& entry : table())
        if (equals_ignoring_case(entry.name, name)) return &entry;
    return nullptr;
}

const std::vector<SectionEntry>& all_sections() { return table(); }

}  // namespace vuzizi
