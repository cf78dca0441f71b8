// Index from element identifiers to element positions, by open addressing.
//
// The identifiers stay in the elements themselves; a slot holds only the position and the hash,
// so a lookup touches one slot and, when the hashes agree, the element. On models of a hundred
// thousand elements this costs about half the cache misses of a node-based map and allocates
// nothing per element.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace vuzizi {

class IdentifierIndex {
public:
    static constexpr int32_t kAbsent = -1;

    // The position of the element of `elements` whose `id` is `id`, or kAbsent.
    template <class Element>
    int32_t find(const std::vector<Element>& elements, std::string_view id) const {
        return find_hashed(elements, id, hash_of(id));
    }

    // Records `position` under `id`; false, recording nothing, when `id` is already there.
    template <class Element>
    bool insert(const std::vector<Element>& elements, std::string_view id, int32_t position) {
        const std::size_t hash = hash_of(id);
        if (find_hashed(elements, id, hash) != kAbsent) return false;
        if ((count_ + 1) * kSlotsPerEntry > slots_.size()) grow(count_ + 1);
        place(Slot{tag(hash), position});
        ++count_;
        return true;
    }

    // Room for `count` entries without growing.
    void reserve(std::size_t count) {
        if (count * kSlotsPerEntry > slots_.size()) grow(count);
    }

    std::size_t size() const { return count_; }

private:
    struct Slot {
        uint32_t hash;
        int32_t position;
    };
    // At most half the slots are used, so that probe runs stay short.
    static constexpr std::size_t kSlotsPerEntry = 2;
    static constexpr std::size_t kFirstSlots = 16;

    static std::size_t hash_of(std::string_view id) { return std::hash<std::string_view>{}(id); }
    // The part of the hash a slot keeps; the slot count never exceeds what it can address.
    static uint32_t tag(std::size_t hash) { return static_cast<uint32_t>(hash); }
    std::size_t mask() const { return slots_.size() - 1; }

    template <class Element>
    int32_t find_hashed(const std::vector<Element>& elements, std::string_view id, std::size_t hash) const {
        if (slots_.empty()) return kAbsent;
        for (std::size_t i = hash & mask(); slots_[i].position != kAbsent; i = (i + 1) & mask()) {
            const Slot& slot = slots_[i];
            if (slot.hash == tag(hash) && elements[static_cast<std::size_t>(slot.position)].id == id)
                return slot.position;
        }
        return kAbsent;
    }

    void place(Slot slot) {
        std::size_t i = slot.hash & mask();
        while (slots_[i].position != kAbsent) i = (i + 1) & mask();
        slots_[i] = slot;
    }

    void grow(std::size_t entries) {
        std::size_t size = kFirstSlots;
        while (size < entries * kSlotsPerEntry) size *= 2;
        std::vector<Slot> old(size, Slot{0, kAbsent});
        old.swap(slots_);
        for (const Slot& slot : old)
            if (slot.position != kAbsent) place(slot);
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
};

}  // namespace vuzizi
