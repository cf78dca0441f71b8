// Layouts of the records and text fields exchanged with the engine library.
// One definition, shared by the module's session, the stand-in engine and the test double.
// Numbers are little-endian; every offset and size is checked below.
#ifndef QORVANE_ENGINE_RECORDS_H
#define QORVANE_ENGINE_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#include <bit>
static_assert(std::endian::native == std::endian::little, "engine records are little-endian");
#define QORVANE_STATIC_ASSERT static_assert
#else
#define QORVANE_STATIC_ASSERT _Static_assert
#endif

// Text fields.
enum {
    VERSION_FIELD_LEN = 5,     // written by GetNumeroVersion
    VERSION_LEN = 4,           // characters of it that are the version
    MODEL_PATH_LEN = 261,      // blank-padded path, always followed by a zero byte
    NODE_ID_SIGNIFICANT = 18,  // significant characters of a node identifier
    NODE_ID_FIELD_LEN = 19,    // node identifier field: identifier, zero byte, blanks
    CURVE_ID_SIGNIFICANT = 48, // significant characters of a curve identifier
    CURVE_ID_FIELD_LEN = 49,   // curve identifier field: identifier, zero byte, blanks
    UNIT_NAME_LEN = 7,         // unit names as the engine writes them
    UNIT_REF_LEN = 8,          // area written by GetUnitRef
    UNIT_CODE_COUNT = 15,      // positions of the unit table
    NODE_MAX_POINTS = 20,      // points of a boundary-condition series
    CURVE_AREA_LEN = 64        // output area of GetUneCourbe
};

// Unit record, filled by GetUnitCourante.
typedef struct UnitRecord {
    char name[UNIT_NAME_LEN];  // current unit name
    unsigned char spare;       // not read by the module
    double coefficient;        // coefficient of the current unit
} UnitRecord;

QORVANE_STATIC_ASSERT(offsetof(UnitRecord, name) == 0, "UnitRecord.name");
QORVANE_STATIC_ASSERT(offsetof(UnitRecord, spare) == 7, "UnitRecord.spare");
QORVANE_STATIC_ASSERT(offsetof(UnitRecord, coefficient) == 8, "UnitRecord.coefficient");
QORVANE_STATIC_ASSERT(sizeof(UnitRecord) == 16, "UnitRecord size");

// One point of a boundary-condition series.
typedef struct NodePoint {
    double time;
    double value;
} NodePoint;

QORVANE_STATIC_ASSERT(sizeof(NodePoint) == 16, "NodePoint size");

// Boundary-condition codes of the node record.
enum { NODE_MODE_HEAD = 0, NODE_MODE_DEMAND = 1, NODE_MODE_PRESSURE = 2 };

// Node record, filled by GetNoeudQor and read by SetNoeudQor.
typedef struct NodeRecord {
    char id[NODE_ID_FIELD_LEN];         //   0: identifier field
    unsigned char reserved_19[21];      //  19: engine's own
    double elevation;                   //  40: returned as fz
    double demand;                      //  48: returned as fcs
    double pressure;                    //  56: published by the engine, not read by the module
    double head;                        //  64: returned as fch
    int32_t mode;                       //  72: boundary-condition code
    int32_t count;                      //  76: points of the series
    NodePoint points[NODE_MAX_POINTS];  //  80: the series
    int32_t cleared_400;                // 400: set to 0 before every SetNoeudQor
    unsigned char reserved_404[20];     // 404: engine's own
} NodeRecord;

QORVANE_STATIC_ASSERT(offsetof(NodeRecord, id) == 0, "NodeRecord.id");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, reserved_19) == 19, "NodeRecord.reserved_19");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, elevation) == 40, "NodeRecord.elevation");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, demand) == 48, "NodeRecord.demand");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, pressure) == 56, "NodeRecord.pressure");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, head) == 64, "NodeRecord.head");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, mode) == 72, "NodeRecord.mode");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, count) == 76, "NodeRecord.count");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, points) == 80, "NodeRecord.points");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, cleared_400) == 400, "NodeRecord.cleared_400");
QORVANE_STATIC_ASSERT(offsetof(NodeRecord, reserved_404) == 404, "NodeRecord.reserved_404");
QORVANE_STATIC_ASSERT(sizeof(NodeRecord) == 424, "NodeRecord size");

// Calculation-parameter record, filled by GetParamCalcQor and read by SetParamCalcQor.
// SetParamCalcQor takes only the horizon and the storage factor; the other fields are what the
// stand-in engine publishes about the prepared run and are ignored when written back.
typedef struct CalcParamRecord {
    double time_step;                //   0: common time step, s
    int32_t total_reaches;           //   8: reaches of all pipes together
    float largest_adjustment;        //  12: largest relative wave-speed adjustment
    float horizon;                   //  16: horizon of the calculation, s
    int32_t step_count;              //  20: time steps up to the horizon
    int32_t storage_factor;          //  24: every how many steps a point is stored
    int32_t stored_points;           //  28: points each curve will hold
    double result_bytes;             //  32: memory the stored results will take
    double result_limit;             //  40: memory the stored results may take
    int32_t fitting_factor;          //  48: smallest storage factor within that limit
    int32_t lumped_pipes;            //  52: pipes shorter than the step, taken as rigid columns
    unsigned char reserved_56[200];  //  56: engine's own
} CalcParamRecord;

QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, time_step) == 0, "CalcParamRecord.time_step");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, total_reaches) == 8, "CalcParamRecord.total_reaches");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, largest_adjustment) == 12, "CalcParamRecord.largest_adjustment");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, horizon) == 16, "CalcParamRecord.horizon");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, step_count) == 20, "CalcParamRecord.step_count");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, storage_factor) == 24, "CalcParamRecord.storage_factor");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, stored_points) == 28, "CalcParamRecord.stored_points");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, result_bytes) == 32, "CalcParamRecord.result_bytes");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, result_limit) == 40, "CalcParamRecord.result_limit");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, fitting_factor) == 48, "CalcParamRecord.fitting_factor");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, lumped_pipes) == 52, "CalcParamRecord.lumped_pipes");
QORVANE_STATIC_ASSERT(offsetof(CalcParamRecord, reserved_56) == 56, "CalcParamRecord.reserved_56");
QORVANE_STATIC_ASSERT(sizeof(CalcParamRecord) == 256, "CalcParamRecord size");

// Curve-selection record, handed to SetInfoCourbe.
typedef struct CurveSelectRecord {
    int16_t element_type;             //   0: element-type code
    int16_t attribute;                //   2: attribute code
    int32_t one;                      //   4: 1 for every selection
    char id[CURVE_ID_FIELD_LEN];      //   8: identifier field
    unsigned char reserved_57[447];   //  57: engine's own
} CurveSelectRecord;

QORVANE_STATIC_ASSERT(offsetof(CurveSelectRecord, element_type) == 0, "CurveSelectRecord.element_type");
QORVANE_STATIC_ASSERT(offsetof(CurveSelectRecord, attribute) == 2, "CurveSelectRecord.attribute");
QORVANE_STATIC_ASSERT(offsetof(CurveSelectRecord, one) == 4, "CurveSelectRecord.one");
QORVANE_STATIC_ASSERT(offsetof(CurveSelectRecord, id) == 8, "CurveSelectRecord.id");
QORVANE_STATIC_ASSERT(offsetof(CurveSelectRecord, reserved_57) == 57, "CurveSelectRecord.reserved_57");
QORVANE_STATIC_ASSERT(sizeof(CurveSelectRecord) == 504, "CurveSelectRecord size");

// Element-type codes of the curve-selection record.
enum {
    ELEMENT_LINK = 0,
    ELEMENT_PUMP = 10,
    ELEMENT_VALVE = 25,
    ELEMENT_TANK = 30,
    ELEMENT_NODE = 40,
    ELEMENT_SURGE_VALVE = 41,  // ANB: anti-surge (relief) valve
    ELEMENT_SURGE_TANK = 42,   // CHEMINEE: open surge tank
    ELEMENT_AIR_VESSEL = 44    // BALLON: air vessel
};

// Attribute codes of the curve-selection record; what each means depends on the element type.
enum { ATTRIBUTE_0 = 0, ATTRIBUTE_1 = 1, ATTRIBUTE_2 = 2, ATTRIBUTE_3 = 3 };

// An engine status counts as success when its lowest bit is 1.
#define VUZIZI_STATUS_OK(status) (((status) & 1) != 0)

#endif
