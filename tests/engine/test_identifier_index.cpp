// The identifier index: every inserted identifier found at its position, duplicates refused, and
// nothing lost while the table grows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "identifier_index.h"

namespace vuzizi::testing {
namespace {

struct Element {
    std::string id;
};

// Adds an element the way the network does: the index first, then the element.
bool add(IdentifierIndex& index, std::vector<Element>& elements, const std::string& id) {
    if (!index.insert(elements, id, static_cast<int32_t>(elements.size()))) return false;
    elements.push_back({id});
    return true;
}

std::string junction(int i) {
    std::string id = "J";
    id.append(std::to_string(i));
    return id;
}

class Growth : public ::testing::TestWithParam<std::size_t> {};

TEST_P(Growth, EveryIdentifierStaysFoundAtItsPosition) {
    const std::size_t reserved = GetParam();
    IdentifierIndex index;
    index.reserve(reserved);
    std::vector<Element> elements;
    constexpr int kCount = 5000;
    for (int i = 0; i < kCount; ++i) ASSERT_TRUE(add(index, elements, junction(i)));
    EXPECT_EQ(index.size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) EXPECT_EQ(index.find(elements, junction(i)), i);
    for (const char* unknown : {"", "J", "J5000", "j1", "J1 ", " J1", "J-1"})
        EXPECT_EQ(index.find(elements, unknown), IdentifierIndex::kAbsent) << unknown;
}

INSTANTIATE_TEST_SUITE_P(Reserved, Growth, ::testing::Values(0, 1, 5000, 100000));

TEST(IdentifierIndex, RefusesADuplicateAndKeepsTheFirst) {
    IdentifierIndex index;
    std::vector<Element> elements;
    ASSERT_TRUE(add(index, elements, "A"));
    ASSERT_TRUE(add(index, elements, "B"));
    EXPECT_FALSE(add(index, elements, "A"));
    EXPECT_EQ(elements.size(), 2u);
    EXPECT_EQ(index.size(), 2u);
    EXPECT_EQ(index.find(elements, "A"), 0);
    EXPECT_EQ(index.find(elements, "B"), 1);
}

TEST(IdentifierIndex, EmptyFindsNothing) {
    const IdentifierIndex index;
    const std::vector<Element> elements;
    EXPECT_EQ(index.find(elements, "A"), IdentifierIndex::kAbsent);
}

}  // namespace
}  // namespace vuzizi::testing
