// Every way a model file can be refused: the error code, and the line the message points to.
#include <gtest/gtest.h>

#include <filesystem>

#include "support.h"

namespace vuzizi::testing {
namespace {

// A small valid network; each case changes or adds lines. Line numbers count from 1.
constexpr const char* kBase =
    "[JUNCTIONS]\n"              // 1
    "J1 10 1\n"                  // 2
    "J2 10 1\n"                  // 3
    "[RESERVOIRS]\n"             // 4
    "R1 50\n"                    // 5
    "[PIPES]\n"                  // 6
    "P1 R1 J1 100 200 100\n"     // 7
    "P2 J1 J2 100 200 100\n"     // 8
    "[OPTIONS]\n"                // 9
    "UNITS LPS\n";               // 10

struct ErrorCase {
    const char* name;
    std::string text;
    Error error;
    int line;  // 0: the message names no line
};

std::string with(const std::string& extra) { return std::string(kBase) + extra; }

const ErrorCase kCases[] = {
    {"data_before_section", "J0 1\n" + std::string(kBase), Error::Syntax, 1},
    {"unclosed_header", with("[PIPES\n"), Error::Syntax, 11},
    {"unknown_section", with("[WHATEVER]\nx y\n"), Error::UnknownSection, 11},
    {"data_on_header_line", with("[PIPES] P9 J1 J2 800 300 130\n"), Error::Syntax, 11},
    {"status_on_header_line", with("[STATUS] P1 CLOSED ; comment\n"), Error::Syntax, 11},
    {"missing_elevation", with("[JUNCTIONS]\nJ3\n"), Error::MissingValue, 12},
    {"elevation_not_a_number", with("[JUNCTIONS]\nJ3 abc\n"), Error::InvalidValue, 12},
    {"elevation_nan", with("[JUNCTIONS]\nJ3 nan\n"), Error::InvalidValue, 12},
    {"elevation_overflow", with("[JUNCTIONS]\nJ3 1e999\n"), Error::InvalidValue, 12},
    {"duplicate_node", with("[RESERVOIRS]\nJ1 40\n"), Error::DuplicateId, 12},
    {"duplicate_link", with("[PIPES]\nP1 J1 J2 10 100 100\n"), Error::DuplicateId, 12},
    {"identifier_too_long", with("[JUNCTIONS]\nJ2345678901234567890123456789012 1\n"), Error::IdTooLong, 12},
    {"undefined_end_node", with("[PIPES]\nP3 J1 JX 10 100 100\n"), Error::UndefinedNode, 12},
    {"undefined_link_status", with("[STATUS]\nPX CLOSED\n"), Error::UndefinedLink, 12},
    {"undefined_pump_curve", with("[PUMPS]\nU1 J1 J2 HEAD C9\n"), Error::UndefinedCurve, 12},
    {"undefined_pattern", with("[JUNCTIONS]\nJ3 1 1 PAT\n[PIPES]\nP3 J2 J3 10 100 100\n"), Error::UndefinedPattern, 12},
    {"pipe_to_itself", with("[PIPES]\nP3 J1 J1 10 100 100\n"), Error::SameEndNodes, 12},
    {"negative_length", with("[PIPES]\nP3 J1 J2 -10 100 100\n"), Error::InvalidValue, 12},
    {"bad_pipe_status", with("[PIPES]\nP3 J1 J2 10 100 100 0 HALF\n"), Error::InvalidKeyword, 12},
    {"bad_flow_units", with("UNITS XYZ\n"), Error::InvalidKeyword, 11},
    {"unknown_option", with("FROBNICATE 1\n"), Error::InvalidKeyword, 11},
    {"fractional_trials", with("TRIALS 2.5\n"), Error::InvalidValue, 11},
    {"zero_accuracy", with("ACCURACY 0\n"), Error::InvalidValue, 11},
    {"too_many_trials", with("TRIALS 2147483647\n"), Error::InvalidValue, 11},
    {"accuracy_below_resolution", with("ACCURACY 1e-300\n"), Error::InvalidValue, 11},
    {"gravity_overflows_pressure_unit", with("PRESSURE KPA\nSPECIFIC GRAVITY 1e308\n"), Error::InvalidValue, 12},
    {"gravity_underflows_pressure_unit", with("SPECIFIC GRAVITY 1e-310\n"), Error::InvalidValue, 11},
    {"setting_overflows_in_si", with("PRESSURE BAR\n[VALVES]\nV1 J1 J2 100 PRV 1e308\n"), Error::InvalidValue, 13},
    {"power_overflows_in_si", with("[PUMPS]\nU1 J1 J2 POWER 1e308\n"), Error::InvalidValue, 12},
    {"demand_overflows_with_multiplier", with("DEMAND MULTIPLIER 1e306\n[DEMANDS]\nJ2 1e10\n"), Error::InvalidValue, 3},
    {"bad_headloss", with("HEADLOSS X-Y\n"), Error::InvalidKeyword, 11},
    {"bad_time", with("[TIMES]\nPATTERN TIMESTEP soon\n"), Error::InvalidValue, 12},
    {"unknown_time_option", with("[TIMES]\nLUNCH 12:00\n"), Error::InvalidKeyword, 12},
    {"tank_level_above_max", with("[TANKS]\nT1 0 20 0 10 5 0\n"), Error::InvalidValue, 12},
    {"tank_volume_beyond_numbers", with("[TANKS]\nT1 0 5 0 10 1e154\n"), Error::InvalidValue, 12},
    {"surge_tank_volume_beyond_numbers", with("[SURGETANKS]\nS1 J2 1e307\n"), Error::InvalidValue, 12},
    {"air_vessel_gas_law_beyond_numbers", with("[AIRVESSELS]\nA1 J2 1e300\n"), Error::InvalidValue, 12},
    {"reservoir_head_beyond_float", with("[RESERVOIRS]\nR2 1e154\n"), Error::InvalidValue, 12},
    {"elevation_beyond_float", with("[JUNCTIONS]\nJ3 -1e39\n"), Error::InvalidValue, 12},
    {"tank_head_beyond_float", with("[TANKS]\nT1 3e38 5 0 1e38 5 0\n"), Error::InvalidValue, 12},
    {"demand_beyond_float_with_multiplier", with("DEMAND MULTIPLIER 1e30\n[DEMANDS]\nJ2 1e10\n"), Error::InvalidValue, 3},
    {"tank_overflow_word", with("[TANKS]\nT1 0 5 0 10 5 0 * MAYBE\n"), Error::InvalidKeyword, 12},
    {"unknown_valve_type", with("[VALVES]\nV1 J1 J2 100 XYZ 1\n"), Error::InvalidKeyword, 12},
    {"pump_without_curve", with("[PUMPS]\nU1 J1 J2 SPEED 1\n"), Error::MissingValue, 12},
    {"pump_unknown_keyword", with("[PUMPS]\nU1 J1 J2 FAST 1\n"), Error::InvalidKeyword, 12},
    {"rising_pump_curve", with("[CURVES]\nC1 0 10\nC1 5 20\n[PUMPS]\nU1 J1 J2 HEAD C1\n"), Error::InvalidCurve, 15},
    {"odd_curve_values", with("[CURVES]\nC1 0 10 5\n"), Error::MissingValue, 12},
    {"prv_into_reservoir", with("[RESERVOIRS]\nR2 30\n[VALVES]\nV1 J2 R2 100 PRV 10\n"), Error::IllegalValveConnection, 14},
    {"two_prv_one_node",
     with("[JUNCTIONS]\nJ3 0\n[VALVES]\nV1 J1 J3 100 PRV 10\nV2 J2 J3 100 PRV 10\n"), Error::IllegalValveConnection, 15},
    {"setting_on_pipe", with("[STATUS]\nP1 3\n"), Error::InvalidValue, 12},
    {"status_word", with("[STATUS]\nP1 AJAR\n"), Error::InvalidKeyword, 12},
    {"demand_on_reservoir", with("[DEMANDS]\nR1 5\n"), Error::InvalidValue, 12},
    {"coordinates_of_unknown_node", with("[COORDINATES]\nJX 1 2\n"), Error::UndefinedNode, 12},
    {"disconnected_junction", with("[JUNCTIONS]\nJ9 1 1\n"), Error::Disconnected, 12},
    {"no_reservoir_or_tank", "[JUNCTIONS]\nJ1 1\nJ2 1\n[PIPES]\nP1 J1 J2 10 100 100\n", Error::NoFixedHead, 0},
};

class ModelError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ModelError, IsRefusedWithItsCodeAndLine) {
    const ErrorCase& c = GetParam();
    const Loaded l = load(c.text, kLevelErrors);
    EXPECT_EQ(l.read_error, c.error) << l.messages;
    EXPECT_EQ(l.network, nullptr) << "a refused model leaves no network";
    const std::string code = "error " + std::to_string(error_code(c.error)) + ": ";
    const std::string where = c.line > 0 ? std::string(kModelName) + ":" + std::to_string(c.line) + ": " : "";
    EXPECT_NE(l.messages.find(where + code), std::string::npos) << l.messages;
}

INSTANTIATE_TEST_SUITE_P(Cases, ModelError, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ModelErrorReporting, SilentLevelWritesNothingButStillRefuses) {
    const Loaded l = load(with("[PIPES]\nP3 J1 JX 10 100 100\n"), kLevelSilent);
    EXPECT_EQ(l.read_error, Error::UndefinedNode);
    EXPECT_TRUE(l.messages.empty()) << l.messages;
}

TEST(ModelErrorReporting, EveryErrorIsReportedAndTheFirstIsReturned) {
    const Loaded l = load(with("[JUNCTIONS]\nJ3 abc\nJ1 5\n"), kLevelErrors);
    EXPECT_EQ(l.read_error, Error::InvalidValue);
    EXPECT_NE(l.messages.find("model.inp:12: "), std::string::npos) << l.messages;
    EXPECT_NE(l.messages.find("model.inp:13: "), std::string::npos) << l.messages;
}

TEST(ModelErrorReporting, MessageNamesTheElement) {
    const Loaded l = load(with("[PIPES]\nP3 J1 JX 10 100 100\n"), kLevelErrors);
    EXPECT_NE(l.messages.find("'JX' of pipe 'P3'"), std::string::npos) << l.messages;
}

TEST(ModelErrorReporting, WarningsOnlyFromLevelTwo) {
    const std::string text = with("[JUNCTIONS]\nJ23456789012345678901 1 0\n[PIPES]\nP3 J2 J23456789012345678901 1 100 100\n");
    EXPECT_EQ(load(text, kLevelErrors).messages, "");
    const Loaded l = load(text, kLevelWarnings);
    EXPECT_EQ(l.read_error, Error::None);
    EXPECT_NE(l.messages.find("warning"), std::string::npos) << l.messages;
}

TEST(ModelFile, MissingFileAndDirectoryAreNotFound) {
    std::ostringstream messages;
    Diagnostics diagnostics(kLevelErrors, messages);
    EXPECT_EQ(read_model_file("/nonexistent/dir/none.inp", diagnostics).error, Error::FileNotFound);
    EXPECT_EQ(read_model_file(std::filesystem::temp_directory_path().string(), diagnostics).error, Error::FileNotFound);
    EXPECT_NE(messages.str().find("/nonexistent/dir/none.inp"), std::string::npos);
}

}  // namespace
}  // namespace vuzizi::testing
