// The operations of the C interface: state checks, fields and records, units and nodes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "api.h"

namespace {

constexpr int32_t kSilent = -1;

// A model path field: the path, blanks to 261 characters, then a zero byte.
struct PathField {
    char bytes[MODEL_PATH_LEN + 1];
    explicit PathField(const std::string& path) {
        std::memset(bytes, ' ', MODEL_PATH_LEN);
        std::memcpy(bytes, path.data(), std::min<std::size_t>(path.size(), MODEL_PATH_LEN));
        bytes[MODEL_PATH_LEN] = '\0';
    }
};

// A node identifier field: id, zero byte, blanks.
struct IdField {
    char bytes[NODE_ID_FIELD_LEN];
    explicit IdField(const std::string& id) {
        std::memset(bytes, ' ', NODE_ID_FIELD_LEN);
        std::memcpy(bytes, id.data(), std::min<std::size_t>(id.size(), NODE_ID_SIGNIFICANT));
        if (id.size() < NODE_ID_FIELD_LEN) bytes[id.size()] = '\0';
    }
};

std::string write_model(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / ("vuzizi_test_" + name + ".inp");
    std::ofstream(path) << text;
    return path.string();
}

const std::string kSiModel =
    "[RESERVOIRS]\nR1 100\n[JUNCTIONS]\nJ1 20 5\nJ2 15 10\n"
    "[PIPES]\nP1 R1 J1 1000 300 120\nP2 J1 J2 500 200 120\n[OPTIONS]\nUNITS LPS\n";

class Interface : public ::testing::Test {
protected:
    void SetUp() override { CloseQorvane(); }
    void TearDown() override { CloseQorvane(); }

    static void open_engine(int32_t level = kSilent) {
        ASSERT_TRUE(VUZIZI_STATUS_OK(OpenQorvaneAPI(&level)));
        ASSERT_TRUE(VUZIZI_STATUS_OK(QorvaneInit()));
    }
    static int32_t load(const std::string& path) { return OuvrirReseau(PathField(path).bytes); }
    static int32_t index_of(const std::string& id) {
        const int32_t zero = 0;
        return IndiceNoeudQor(IdField(id).bytes, &zero);
    }
};

TEST_F(Interface, NothingWorksBeforeOpeningAndNullPointersAreRefused) {
    char version[VERSION_FIELD_LEN] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetNumeroVersion(version)));
    EXPECT_EQ(version[0], 'x');
    EXPECT_FALSE(VUZIZI_STATUS_OK(QorvaneInit()));
    EXPECT_FALSE(VUZIZI_STATUS_OK(CloseQorvane()));
    EXPECT_GT(load(write_model("before", kSiModel)), 0);
    EXPECT_LT(index_of("J1"), 0);
    EXPECT_FALSE(VUZIZI_STATUS_OK(OpenQorvaneAPI(nullptr)));
    for (int32_t bad : {0, -2, -100}) EXPECT_FALSE(VUZIZI_STATUS_OK(OpenQorvaneAPI(&bad))) << bad;
    open_engine();
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetNumeroVersion(nullptr)));
    EXPECT_GT(OuvrirReseau(nullptr), 0);
    EXPECT_LT(IndiceNoeudQor(nullptr, nullptr), 0);
    const int16_t position = 1;
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetUnitCourante(&position, nullptr)));
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetUnitRef(nullptr, nullptr)));
    EXPECT_FALSE(VUZIZI_STATUS_OK(GetNoeudQor(nullptr, nullptr)));
    EXPECT_FALSE(VUZIZI_STATUS_OK(SetNoeudQor(nullptr, nullptr, nullptr)));
}

TEST_F(Interface, VersionHasFourCharactersAndAZero) {
    open_engine();
    char version[VERSION_FIELD_LEN];
    ASSERT_TRUE(VUZIZI_STATUS_OK(GetNumeroVersion(version)));
    EXPECT_EQ(std::strlen(version), static_cast<std::size_t>(VERSION_LEN));
}

TEST_F(Interface, PathFieldIsTrimmedAndAFailedLoadKeepsThePreviousNetwork) {
    open_engine();
    const std::string path = write_model("good", kSiModel);
    EXPECT_EQ(load(path), 0);
    EXPECT_EQ(index_of("J2"), 3);
    EXPECT_EQ(load("/no/such/model.inp"), 3);
    EXPECT_EQ(load(write_model("bad", kSiModel + "[PIPES]\nP9 J1 JX 1 1 1\n")), 17);
    EXPECT_EQ(index_of("J2"), 3) << "the network loaded before stays";
    EXPECT_EQ(load(""), 2);
    // After closing, the network is gone; opening again loads again.
    CloseQorvane();
    EXPECT_LT(index_of("J2"), 0);
    open_engine();
    EXPECT_EQ(load(path), 0);
}

TEST_F(Interface, NodeLookupIsExact) {
    open_engine();
    ASSERT_EQ(load(write_model("lookup", kSiModel)), 0);
    EXPECT_EQ(index_of("R1"), 1);
    EXPECT_EQ(index_of("J1"), 2);
    EXPECT_LT(index_of("j1"), 0);
    EXPECT_LT(index_of(" J1"), 0);
    EXPECT_LT(index_of(""), 0);
    // Trailing blanks before the zero byte do not count; a field with no zero byte ends at 19.
    char blanks[NODE_ID_FIELD_LEN];
    std::memset(blanks, ' ', sizeof blanks);
    std::memcpy(blanks, "J1", 2);
    EXPECT_EQ(IndiceNoeudQor(blanks, nullptr), 2);
}

TEST_F(Interface, NodeRecordCarriesTheSteadyStateInModelUnits) {
    open_engine();
    ASSERT_EQ(load(write_model("record", kSiModel)), 0);
    NodeRecord record;
    std::memset(&record, 0xAB, sizeof record);
    const int32_t index = index_of("J1");
    ASSERT_TRUE(VUZIZI_STATUS_OK(GetNoeudQor(&index, &record)));
    EXPECT_STREQ(record.id, "J1");
    for (int i = 3; i < NODE_ID_FIELD_LEN; ++i) EXPECT_EQ(record.id[i], ' ');
    EXPECT_DOUBLE_EQ(record.elevation, 20.0);
    EXPECT_NEAR(record.demand, 5.0, 1e-12);
    // Head from Hazen-Williams on P1 carrying 15 L/s.
    const double r = 10.6668 * 1000 / (std::pow(120.0, 1.852) * std::pow(0.3, 4.871));
    EXPECT_NEAR(record.head, 100.0 - r * std::pow(0.015, 1.852), 1e-3);
    EXPECT_NEAR(record.pressure, record.head - 20.0, 1e-9);
    // Bytes the engine does not publish stay as they were.
    EXPECT_EQ(record.reserved_19[0], 0xAB);
    EXPECT_EQ(record.cleared_400, static_cast<int32_t>(0xABABABAB));
    for (int32_t bad : {0, -1, 4, 1000}) {
        std::memset(&record, 0xAB, sizeof record);
        EXPECT_FALSE(VUZIZI_STATUS_OK(GetNoeudQor(&bad, &record))) << bad;
        EXPECT_EQ(record.id[0], static_cast<char>(0xAB));
    }
}

TEST_F(Interface, BoundaryConditionsAreCheckedBeforeTheyAreStored) {
    open_engine();
    ASSERT_EQ(load(write_model("boundary", kSiModel)), 0);
    NodeRecord record{};
    record.mode = NODE_MODE_HEAD;
    record.count = 2;
    record.points[0] = {0.0, 80.0};
    record.points[1] = {10.0, 85.0};
    const int32_t zero = 0;
    EXPECT_TRUE(VUZIZI_STATUS_OK(SetNoeudQor(&zero, IdField("J2").bytes, &record)));
    EXPECT_FALSE(VUZIZI_STATUS_OK(SetNoeudQor(&zero, IdField("JX").bytes, &record)));
    struct Bad {
        int32_t mode;
        int32_t count;
        double second_time;
    };
    for (const Bad b : {Bad{3, 2, 10.0}, Bad{-1, 2, 10.0}, Bad{0, 21, 10.0}, Bad{0, -1, 10.0}, Bad{0, 2, -5.0},
                        Bad{0, 2, std::nan("")}}) {
        NodeRecord r = record;
        r.mode = b.mode;
        r.count = b.count;
        r.points[1].time = b.second_time;
        EXPECT_FALSE(VUZIZI_STATUS_OK(SetNoeudQor(&zero, IdField("J2").bytes, &r)))
            << b.mode << " " << b.count << " " << b.second_time;
    }
    record.mode = NODE_MODE_DEMAND;
    EXPECT_FALSE(VUZIZI_STATUS_OK(SetNoeudQor(&zero, IdField("R1").bytes, &record))) << "no demand on a reservoir";
    record.count = 0;
    EXPECT_TRUE(VUZIZI_STATUS_OK(SetNoeudQor(&zero, IdField("J2").bytes, &record)));
    record.count = NODE_MAX_POINTS;
    for (int i = 0; i < NODE_MAX_POINTS; ++i) record.points[i] = {static_cast<double>(i), 1.0};
    EXPECT_TRUE(VUZIZI_STATUS_OK(SetNoeudQor(&zero, IdField("J1").bytes, &record)));
}

struct UnitRow {
    int16_t position;
    const char* current;
    const char* reference;
    double coefficient;
};

void expect_unit(const UnitRow& row) {
    UnitRecord unit;
    std::memset(&unit, 0, sizeof unit);
    char reference[UNIT_REF_LEN];
    ASSERT_TRUE(VUZIZI_STATUS_OK(GetUnitCourante(&row.position, &unit)));
    ASSERT_TRUE(VUZIZI_STATUS_OK(GetUnitRef(&row.position, reference)));
    std::string name(unit.name, UNIT_NAME_LEN);
    std::string ref(reference, UNIT_NAME_LEN);
    EXPECT_EQ(name, (std::string(row.current) + "       ").substr(0, UNIT_NAME_LEN)) << row.position;
    EXPECT_EQ(ref, (std::string(row.reference) + "       ").substr(0, UNIT_NAME_LEN)) << row.position;
    EXPECT_NEAR(unit.coefficient, row.coefficient, 1e-9 * row.coefficient) << row.position;
}

TEST_F(Interface, UnitsOfAnSiModelWithKilopascals) {
    open_engine();
    ASSERT_EQ(load(write_model("units_si", kSiModel + "PRESSURE KPA\nHEADLOSS D-W\n")), 0);
    const UnitRow rows[] = {
        {1, "s", "s", 1.0},         {2, "m", "m", 1.0},       {3, "m", "m", 1.0},
        {4, "kPa", "m", 9.80665},   {5, "LPS", "m3/s", 1000}, {6, "m2", "m2", 1.0},
        {7, "m3", "m3", 1.0},       {8, "m", "m", 1.0},       {9, "mm", "m", 1000},
        {10, "LPS", "m3/s", 1000},  {11, "m/s", "m/s", 1.0},  {12, "mm", "m", 1000},
        {13, "rpm", "rad/s", 30.0 / 3.14159265358979323846},  {14, "m/km", "m/m", 1000},
        {15, "kW", "W", 1e-3},
    };
    for (const UnitRow& row : rows) expect_unit(row);
}

TEST_F(Interface, UnitsOfAUsModel) {
    open_engine();
    ASSERT_EQ(load(write_model("units_us", kSiModel + "UNITS GPM\n")), 0);
    const double ft = 1 / 0.3048;
    const UnitRow rows[] = {
        {2, "ft", "m", ft},  {4, "psi", "m", 0.4333 / 0.3048}, {10, "GPM", "m3/s", 60 / 3.785411784e-3},
        {9, "in", "m", 1 / 0.0254}, {12, "-", "-", 1.0}, {7, "ft3", "m3", ft * ft * ft}, {15, "hp", "W", 1 / 745.69987158227},
    };
    for (const UnitRow& row : rows) expect_unit(row);
}

TEST_F(Interface, UnitPositionOutsideTheTableWritesNothing) {
    open_engine();
    for (int16_t bad : {0, 16, -1, 32767}) {
        UnitRecord unit;
        std::memset(&unit, 0x5A, sizeof unit);
        char reference[UNIT_REF_LEN];
        std::memset(reference, 0x5A, sizeof reference);
        EXPECT_FALSE(VUZIZI_STATUS_OK(GetUnitCourante(&bad, &unit)));
        EXPECT_FALSE(VUZIZI_STATUS_OK(GetUnitRef(&bad, reference)));
        EXPECT_EQ(unit.name[0], 0x5A);
        EXPECT_EQ(reference[0], 0x5A);
    }
}

TEST_F(Interface, NonConvergenceFailsTheLoadUnlessAskedToContinue) {
    open_engine();
    const std::string slow = kSiModel + "TRIALS 1\n";
    EXPECT_EQ(load(write_model("slow", slow)), 31);
    EXPECT_EQ(load(write_model("slow_continue", slow + "UNBALANCED CONTINUE\n")), 0);
    // Flows that do not balance are no state to keep: refused whatever UNBALANCED says.
    const std::string blocked =
        "[JUNCTIONS]\nA 0 0.5\n[RESERVOIRS]\nR 32\n[PIPES]\nP R A 150 50 0.01\n[OPTIONS]\nUNITS LPS\n";
    EXPECT_EQ(load(write_model("blocked", blocked)), 31);
    EXPECT_EQ(load(write_model("blocked_continue", blocked + "UNBALANCED CONTINUE\n")), 31);
}

}  // namespace
