// What a model file puts into the network: units, keywords, demands, status, patterns,
// sections of other engine parts; and that no input brings the reader down.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "input/parse_context.h"
#include "support.h"

namespace vuzizi::testing {
namespace {

constexpr const char* kSmall =
    "[TITLE]\nSmall ; network\n"
    "[junctions]\n"
    ";id elev demand pattern\n"
    "J1\t100\t2.5 ; first\n"
    "J2 90 0\n"
    "[Reservoirs] ; fixed heads\nR1 150\n"
    "[PIPES]\nP1 R1 J1 1000 300 120 0 open\nP2 J1 J2 500 250 120 CV\n"
    "[options]\nunits lps\nSpecific Gravity 1.0\n";

TEST(ModelReading, KeywordsAnyCaseAndCommentsIgnored) {
    const Loaded l = load(kSmall);
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    EXPECT_EQ(l.network->title, "Small");
    EXPECT_EQ(l.network->nodes.size(), 3u);
    EXPECT_TRUE(l.network->links[1].check_valve);
    EXPECT_EQ(l.network->options.flow_units, FlowUnits::LPS);
}

TEST(ModelReading, LeadingUtf8MarkAndWindowsLineEndsAreAccepted) {
    std::string text = "\xEF\xBB\xBF";
    for (const char c : std::string_view(kSmall)) {
        if (c == '\n') text += '\r';
        text += c;
    }
    const Loaded l = load(text);
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    EXPECT_EQ(l.network->nodes[0].id, "J1");
}

TEST(ModelReading, IdentifiersAreCaseSensitive) {
    const Loaded l = load(std::string(kSmall) + "[JUNCTIONS]\nj1 100\n[PIPES]\nP3 j1 J2 1 100 100\n");
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    EXPECT_NE(node(l, "j1"), node(l, "J1"));
}

struct UnitCase {
    const char* units;
    double lengths_per_metre;  // length unit of the system per metre
    double diameter_per_metre;
    double flow_per_m3s;
};

class FlowUnitsConversion : public ::testing::TestWithParam<UnitCase> {};

TEST_P(FlowUnitsConversion, ValuesAreReadInTheModelUnits) {
    const UnitCase& c = GetParam();
    const std::string text = std::string("[JUNCTIONS]\nJ1 100 10\n[RESERVOIRS]\nR1 200\n[PIPES]\nP1 R1 J1 1000 12 100\n") +
                             "[OPTIONS]\nUNITS " + c.units + "\n";
    const Loaded l = load(text);
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    const Network& n = *l.network;
    EXPECT_NEAR(n.nodes[0].elevation * c.lengths_per_metre, 100.0, 1e-9);
    EXPECT_NEAR(n.links[0].length * c.lengths_per_metre, 1000.0, 1e-9);
    EXPECT_NEAR(n.links[0].diameter * c.diameter_per_metre, 12.0, 1e-9);
    EXPECT_NEAR(n.nodes[0].demands[0].base * c.flow_per_m3s, 10.0, 1e-9);
}

// Unit sizes from their definitions: 1 ft = 0.3048 m, 1 US gallon = 231 cubic inches.
constexpr double kFt = 1.0 / 0.3048;
constexpr double kIn = 1.0 / 0.0254;
constexpr double kGallon = 231.0 * 0.0254 * 0.0254 * 0.0254;
const UnitCase kUnitCases[] = {
    {"CFS", kFt, kIn, kFt * kFt * kFt},
    {"GPM", kFt, kIn, 60.0 / kGallon},
    {"MGD", kFt, kIn, 86400.0 / (1e6 * kGallon)},
    {"IMGD", kFt, kIn, 86400.0 / (1e6 * 4.54609e-3)},
    {"AFD", kFt, kIn, 86400.0 / (43560.0 / (kFt * kFt * kFt))},
    {"LPS", 1.0, 1000.0, 1000.0},
    {"LPM", 1.0, 1000.0, 60000.0},
    {"MLD", 1.0, 1000.0, 86400.0 / 1000.0},
    {"CMH", 1.0, 1000.0, 3600.0},
    {"CMD", 1.0, 1000.0, 86400.0},
};

INSTANTIATE_TEST_SUITE_P(All, FlowUnitsConversion, ::testing::ValuesIn(kUnitCases),
                         [](const auto& info) { return std::string(info.param.units); });

TEST(ModelReading, DemandsSectionReplacesJunctionDemandAndKeepsCategories) {
    const Loaded l = load(std::string(kSmall) +
                          "[PATTERNS]\nPA 2 3\n[DEMANDS]\nJ1 4 PA ; domestic\nJ1 1 ; leaks\n");
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    const Node& j1 = l.network->nodes[node(l, "J1")];
    ASSERT_EQ(j1.demands.size(), 2u);
    EXPECT_EQ(j1.demands[0].category, "domestic");
    EXPECT_EQ(j1.demands[1].category, "leaks");
    // Time 0 takes the first multiplier: 4 * 2 + 1 (no pattern, no default pattern "1").
    EXPECT_NEAR(l.state.demand[node(l, "J1")], 9.0e-3, 1e-12);
}

TEST(ModelReading, DefaultPatternAndPatternStartAndMultiplier) {
    const Loaded l = load(std::string(kSmall) +
                          "[PATTERNS]\n1 1 2\n1 3\n[TIMES]\nPATTERN TIMESTEP 2:00\nPATTERN START 4 HOURS\n"
                          "[OPTIONS]\nDEMAND MULTIPLIER 2\n");
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    // Period floor(4 h / 2 h) = 2 of a 3-period pattern: multiplier 3; times 2; times 2.5 L/s.
    EXPECT_NEAR(l.state.demand[node(l, "J1")], 15.0e-3, 1e-12);
}

TEST(ModelReading, StatusSectionSetsPumpsValvesAndPipes) {
    const Loaded l = load(std::string(kSmall) +
                          "[CURVES]\nC1 10 50\n[PUMPS]\nU1 J2 J1 HEAD C1\n[VALVES]\nV1 J1 J2 100 FCV 5\n"
                          "[STATUS]\nU1 0.8\nV1 7\nP1 Closed\n");
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    const Network& n = *l.network;
    EXPECT_DOUBLE_EQ(n.links[link(l, "U1")].speed, 0.8);
    EXPECT_NEAR(n.links[link(l, "V1")].setting, 7.0e-3, 1e-15);
    EXPECT_EQ(n.links[link(l, "P1")].status, LinkStatus::Closed);
}

TEST(ModelReading, UnusedSectionsAreTracedNotRefused) {
    const Loaded l = load(std::string(kSmall) + "[ENERGY]\nGLOBAL PRICE 2\n[END]\n[NONSENSE]\nx\n[VALVEMOTIONS] ; late\n");
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    EXPECT_NE(l.messages.find("[ENERGY] is not used"), std::string::npos) << l.messages;
    // Sections after [END] are not read, and each is named where it stands.
    EXPECT_NE(l.messages.find("model.inp:18: warning: section [NONSENSE] comes after [END]"), std::string::npos)
        << l.messages;
    EXPECT_NE(l.messages.find("model.inp:20: warning: section [VALVEMOTIONS] comes after [END]"), std::string::npos)
        << l.messages;
    EXPECT_EQ(load(std::string(kSmall) + "[ENERGY]\nx\n", kLevelWarnings).messages, "");
}

TEST(ModelReading, TimesInEveryForm) {
    struct TimeCase {
        const char* value;
        const char* unit;
        double seconds;
    };
    const TimeCase cases[] = {
        {"1:30", "", 5400}, {"1:30:15", "", 5415}, {"2", "", 7200}, {"90", "MIN", 5400},
        {"30", "SEC", 30}, {"1.5", "HOURS", 5400}, {"1", "DAY", 86400}, {"12", "AM", 0},
        {"12", "PM", 43200}, {"1:15", "PM", 47700},
    };
    for (const TimeCase& c : cases) {
        const auto s = parse_duration(c.value, c.unit);
        ASSERT_TRUE(s.has_value()) << c.value << " " << c.unit;
        EXPECT_NEAR(*s, c.seconds, 1e-9) << c.value << " " << c.unit;
    }
    for (const char* bad : {"", "-1", "1:xx", "1:2:3:4", "abc"}) EXPECT_FALSE(parse_duration(bad, "").has_value()) << bad;
    EXPECT_FALSE(parse_duration("13", "PM").has_value());
    EXPECT_FALSE(parse_duration("2", "WEEKS").has_value());
}

// A section of another part of the engine, registered from this file only.
int g_extension_lines = 0;
bool g_extension_finished = false;

void read_wave_speed(ParseContext& context, const SectionLine& line) {
    ++g_extension_lines;
    const int32_t link = context.link_ref(line.tokens[0], "wave speed");
    const auto speed = context.number(line, 1, "wave speed");
    if (link != kNone && speed) context.network.transient.wave_speed[link] = *speed;
}

void finish_wave_speeds(ParseContext& context) {
    g_extension_finished = true;
    context.network.transient.default_wave_speed = 1000.0;
}

const SectionRegistration kTestSection("TESTWAVESPEEDS", kPhaseExtensions, read_wave_speed, finish_wave_speeds);

TEST(SectionTable, RegisteredSectionRunsAfterTheLinksWhereverItStands) {
    g_extension_lines = 0;
    const Loaded l = load(std::string("[TESTWAVESPEEDS]\nP2 1200\n").append(kSmall));
    ASSERT_EQ(l.read_error, Error::None) << l.messages;
    EXPECT_EQ(g_extension_lines, 1);
    EXPECT_TRUE(g_extension_finished);
    EXPECT_DOUBLE_EQ(l.network->transient.wave_speed[link(l, "P2")], 1200.0);
    EXPECT_DOUBLE_EQ(l.network->transient.default_wave_speed, 1000.0);
    EXPECT_EQ(load(std::string("[TESTWAVESPEEDS]\nPX 1\n").append(kSmall)).read_error, Error::UndefinedLink);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Random damage to a real model: the reader and solver either accept or refuse, never crash.
TEST(Robustness, DamagedModelsNeverBringTheReaderDown) {
    const std::string original = read_file(std::string(VUZIZI_TEST_DATA) + "/Net3.inp");
    ASSERT_FALSE(original.empty());
    std::mt19937 random(12345);
    constexpr char kAlphabet[] = "[]; \t\n\r\0-+.eE0123456789abcXYZ:*";
    const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
    for (int round = 0; round < 60; ++round) {
        std::string text = original;
        std::uniform_int_distribution<std::size_t> where(0, text.size() - 1);
        const int edits = 1 + round % 8;
        for (int e = 0; e < edits; ++e) {
            const std::size_t at = where(random);
            switch (random() % 3) {
                case 0: text[at] = alphabet[random() % alphabet.size()]; break;
                case 1: text.erase(at, random() % 40); break;
                default: text.insert(at, std::string(1 + random() % 5, alphabet[random() % alphabet.size()]));
            }
        }
        if (round % 10 == 0) text.resize(where(random));
        const Loaded l = load(text, kLevelSilent);
        if (l.read_error == Error::None) {
            EXPECT_NE(l.network, nullptr);
        } else {
            EXPECT_GT(error_code(l.read_error), 0);
        }
    }
    for (const std::string& odd : {std::string(), std::string("\0\0\0", 3), std::string(100000, '['),
                                   std::string("[JUNCTIONS]\n").append(70000, 'x'), std::string("[END]")}) {
        EXPECT_NE(load(odd, kLevelSilent).read_error, Error::None);
    }
}

}  // namespace
}  // namespace vuzizi::testing
