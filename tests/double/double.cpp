// The journaling test double of the engine library: records every call it receives and answers as programmed.
//
// The module tests put this library first on the library path in place of the engine. Python reads the
// journal and programs the answers through the dbl_* functions below (ctypes, C convention).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "api.h"

#define DOUBLE_API VUZIZI_API

extern "C" {
DOUBLE_API void dbl_reset(void);
DOUBLE_API void dbl_set_return(const char* op, int32_t value);
DOUBLE_API void dbl_set_output(const char* op, int32_t arg, const void* bytes, int32_t len);
DOUBLE_API void dbl_set_throw(const char* op, int32_t kind);
DOUBLE_API int32_t dbl_call_count(void);
DOUBLE_API const char* dbl_call_op(int32_t call);
DOUBLE_API int32_t dbl_call_arg(int32_t call, int32_t arg, void* out, int32_t cap);
DOUBLE_API uint64_t dbl_call_addr(int32_t call, int32_t arg);
}

namespace {

constexpr int32_t STATUS_SUCCESS = 1;
constexpr int32_t OPEN_NETWORK_DEFAULT = 0;  // OuvrirReseau's own default answer
constexpr int32_t NODE_INDEX_DEFAULT = 1;    // a valid node index
constexpr int32_t NO_SUCH_ARGUMENT = -1;
constexpr std::size_t UNSIZED = 0;           // an array the engine is handed without its length

constexpr std::size_t INT32_SIZE = sizeof(int32_t);
constexpr std::size_t INT16_SIZE = sizeof(int16_t);
constexpr std::size_t MODEL_PATH_SIZE = MODEL_PATH_LEN + 1;  // the path and the zero byte after it

enum class Access { read_only, written };

// One argument as an operation received it: its address, how many bytes lie there, whether the engine writes it.
struct Argument {
    const void* address;
    std::size_t size;
    Access access;
};

// The operations, in the order of the engine's interface; an operation's behaviour is kept under its position.
enum Operation : std::size_t {
    OPEN_API, INIT, GET_VERSION, OPEN_NETWORK, CLOSE,
    GET_UNIT, GET_UNIT_REF, NODE_INDEX, GET_NODE, SET_NODE,
    INIT_CALCULATION, GET_CALC_PARAMS, SET_CALC_PARAMS, RUN_CALCULATION, SET_CURVE_INFO,
    GET_CURVE_SIZE, GET_CURVE,
    OPERATION_COUNT,
    NOT_AN_OPERATION = OPERATION_COUNT,
};
constexpr auto OPERATIONS = std::to_array<const char*>({
    "OpenQorvaneAPI", "QorvaneInit",   "GetNumeroVersion", "OuvrirReseau",    "CloseQorvane",
    "GetUnitCourante", "GetUnitRef",   "IndiceNoeudQor",   "GetNoeudQor",     "SetNoeudQor",
    "InitCalculQor",  "GetParamCalcQor", "SetParamCalcQor", "RunCalculQor",   "SetInfoCourbe",
    "GetNbPtUneCourbe", "GetUneCourbe",
});
static_assert(OPERATIONS.size() == OPERATION_COUNT);
constexpr std::size_t MAX_ARGUMENTS = 6;  // GetUneCourbe's

// The journal is kept flat: the bytes of every recorded argument in one buffer, and a fixed-size
// entry per call and per argument, so that recording a call allocates nothing once the buffers
// have grown (calls are recorded by the million in timing loops).
struct RecordedArgument {
    std::size_t offset;  // of its bytes in `journal_bytes`
    std::size_t size;
    uint64_t address;
};

struct RecordedCall {
    Operation op;
    std::size_t first_arg;  // in `journal_args`
    std::size_t arg_count;
};

struct ProgrammedOutput {
    bool active = false;
    std::vector<unsigned char> bytes;
};

// What an operation throws after journaling its call, to try a caller against an engine that lets
// a C++ exception out; the values are those of dbl_set_throw.
enum Thrown : int32_t {
    THROWS_NOTHING = 0,
    THROWS_BAD_ALLOC = 1,
    THROWS_RUNTIME_ERROR = 2,
    THROWS_NON_STD = 3,
    THROWS_OVERFLOW_ERROR = 4,
    THROWS_LENGTH_ERROR = 5,
    THROWS_LAST = THROWS_LENGTH_ERROR
};

struct Behaviour {
    Thrown thrown = THROWS_NOTHING;
    bool return_programmed = false;
    int32_t return_value = 0;
    std::array<ProgrammedOutput, MAX_ARGUMENTS> outputs;
};

std::vector<RecordedCall> journal;
std::vector<RecordedArgument> journal_args;
std::vector<unsigned char> journal_bytes;
std::array<Behaviour, OPERATION_COUNT> behaviours;

std::size_t operation_index(const char* op)
{
    if (op == nullptr) {
        return NOT_AN_OPERATION;
    }
    for (std::size_t index = 0; index < OPERATION_COUNT; ++index) {
        if (std::strcmp(OPERATIONS[index], op) == 0) {
            return index;
        }
    }
    return NOT_AN_OPERATION;
}

int32_t default_return(Operation op)
{
    switch (op) {
    case OPEN_NETWORK: return OPEN_NETWORK_DEFAULT;
    case NODE_INDEX: return NODE_INDEX_DEFAULT;
    default: return STATUS_SUCCESS;
    }
}

void record(const Argument& arg)
{
    RecordedArgument recorded{journal_bytes.size(), 0, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(arg.address))};
    if (arg.address != nullptr && arg.size != UNSIZED) {
        const auto* first = static_cast<const unsigned char*>(arg.address);
        journal_bytes.insert(journal_bytes.end(), first, first + arg.size);
        recorded.size = arg.size;
    }
    journal_args.push_back(recorded);
}

// Copies the programmed bytes into a written argument. A sized argument never gets more than its own
// size; an unsized array gets all the programmed bytes (the test knows what it handed over).
void write_output(const ProgrammedOutput& output, const Argument& arg)
{
    if (!output.active || arg.access != Access::written || arg.address == nullptr) {
        return;
    }
    const std::size_t count =
        arg.size == UNSIZED ? output.bytes.size() : std::min(arg.size, output.bytes.size());
    if (count > 0) {
        std::memcpy(const_cast<void*>(arg.address), output.bytes.data(), count);
    }
}

// Journals one call with its arguments as they were on entry, then writes the programmed outputs and
// gives the programmed return value.
int32_t answer(Operation op, std::initializer_list<Argument> args = {})
{
    journal.push_back(RecordedCall{op, journal_args.size(), args.size()});
    for (const Argument& arg : args) {
        record(arg);
    }
    const Behaviour& behaviour = behaviours[op];
    std::size_t index = 0;
    for (const Argument& arg : args) {
        write_output(behaviour.outputs[index], arg);
        ++index;
    }
    switch (behaviour.thrown) {
    case THROWS_BAD_ALLOC: throw std::bad_alloc();
    case THROWS_RUNTIME_ERROR: throw std::runtime_error(std::string("double: ") + OPERATIONS[op] + " threw");
    case THROWS_NON_STD: throw static_cast<int>(op);
    case THROWS_OVERFLOW_ERROR: throw std::overflow_error(std::string("double: ") + OPERATIONS[op] + " overflowed");
    case THROWS_LENGTH_ERROR: throw std::length_error(std::string("double: ") + OPERATIONS[op] + " too long");
    case THROWS_NOTHING: break;
    }
    return behaviour.return_programmed ? behaviour.return_value : default_return(op);
}

const RecordedArgument* recorded_argument(int32_t call, int32_t arg)
{
    if (call < 0 || static_cast<std::size_t>(call) >= journal.size()) {
        return nullptr;
    }
    const RecordedCall& recorded = journal[static_cast<std::size_t>(call)];
    if (arg < 0 || static_cast<std::size_t>(arg) >= recorded.arg_count) {
        return nullptr;
    }
    return &journal_args[recorded.first_arg + static_cast<std::size_t>(arg)];
}

}  // namespace

// Control interface.

void dbl_reset(void)
{
    journal.clear();
    journal_args.clear();
    journal_bytes.clear();
    behaviours = {};
}

void dbl_set_return(const char* op, int32_t value)
{
    const std::size_t index = operation_index(op);
    if (index == NOT_AN_OPERATION) {
        return;
    }
    behaviours[index].return_programmed = true;
    behaviours[index].return_value = value;
}

void dbl_set_output(const char* op, int32_t arg, const void* bytes, int32_t len)
{
    const std::size_t index = operation_index(op);
    if (index == NOT_AN_OPERATION || arg < 0 || static_cast<std::size_t>(arg) >= MAX_ARGUMENTS) {
        return;
    }
    ProgrammedOutput& output = behaviours[index].outputs[static_cast<std::size_t>(arg)];
    output.active = len >= 0;
    output.bytes.clear();
    if (len > 0 && bytes != nullptr) {
        const auto* first = static_cast<const unsigned char*>(bytes);
        output.bytes.assign(first, first + len);
    }
}

void dbl_set_throw(const char* op, int32_t kind)
{
    const std::size_t index = operation_index(op);
    if (index == NOT_AN_OPERATION || kind < THROWS_NOTHING || kind > THROWS_LAST) {
        return;
    }
    behaviours[index].thrown = static_cast<Thrown>(kind);
}

int32_t dbl_call_count(void)
{
    return static_cast<int32_t>(journal.size());
}

const char* dbl_call_op(int32_t call)
{
    if (call < 0 || static_cast<std::size_t>(call) >= journal.size()) {
        return nullptr;
    }
    return OPERATIONS[journal[static_cast<std::size_t>(call)].op];
}

int32_t dbl_call_arg(int32_t call, int32_t arg, void* out, int32_t cap)
{
    const RecordedArgument* recorded = recorded_argument(call, arg);
    if (recorded == nullptr) {
        return NO_SUCH_ARGUMENT;
    }
    const std::size_t room = cap > 0 ? static_cast<std::size_t>(cap) : 0;
    const std::size_t count = std::min(room, recorded->size);
    if (out != nullptr && count > 0) {
        std::memcpy(out, journal_bytes.data() + recorded->offset, count);
    }
    return static_cast<int32_t>(recorded->size);
}

uint64_t dbl_call_addr(int32_t call, int32_t arg)
{
    const RecordedArgument* recorded = recorded_argument(call, arg);
    return recorded != nullptr ? recorded->address : 0;
}

// The 17 engine operations.

int32_t VUZIZI_CALL OpenQorvaneAPI(const int32_t* level)
{
    return answer(OPEN_API, {{level, INT32_SIZE, Access::read_only}});
}

int32_t VUZIZI_CALL QorvaneInit(void)
{
    return answer(INIT);
}

int32_t VUZIZI_CALL GetNumeroVersion(char* version)
{
    return answer(GET_VERSION, {{version, VERSION_FIELD_LEN, Access::written}});
}

int32_t VUZIZI_CALL OuvrirReseau(const char* path)
{
    return answer(OPEN_NETWORK, {{path, MODEL_PATH_SIZE, Access::read_only}});
}

int32_t VUZIZI_CALL CloseQorvane(void)
{
    return answer(CLOSE);
}

int32_t VUZIZI_CALL GetUnitCourante(const int16_t* position, UnitRecord* unit)
{
    return answer(GET_UNIT, {{position, INT16_SIZE, Access::read_only},
                                      {unit, sizeof(UnitRecord), Access::written}});
}

int32_t VUZIZI_CALL GetUnitRef(const int16_t* position, char* name)
{
    return answer(GET_UNIT_REF, {{position, INT16_SIZE, Access::read_only},
                                 {name, UNIT_REF_LEN, Access::written}});
}

int32_t VUZIZI_CALL IndiceNoeudQor(const char* node_id, const int32_t* zero)
{
    return answer(NODE_INDEX, {{node_id, NODE_ID_FIELD_LEN, Access::read_only},
                                     {zero, INT32_SIZE, Access::read_only}});
}

int32_t VUZIZI_CALL GetNoeudQor(const int32_t* index, NodeRecord* node)
{
    return answer(GET_NODE, {{index, INT32_SIZE, Access::read_only},
                                  {node, sizeof(NodeRecord), Access::written}});
}

int32_t VUZIZI_CALL SetNoeudQor(const int32_t* zero, const char* node_id, const NodeRecord* node)
{
    return answer(SET_NODE, {{zero, INT32_SIZE, Access::read_only},
                                  {node_id, NODE_ID_FIELD_LEN, Access::read_only},
                                  {node, sizeof(NodeRecord), Access::read_only}});
}

int32_t VUZIZI_CALL InitCalculQor(const int32_t* zero)
{
    return answer(INIT_CALCULATION, {{zero, INT32_SIZE, Access::read_only}});
}

int32_t VUZIZI_CALL GetParamCalcQor(CalcParamRecord* params)
{
    return answer(GET_CALC_PARAMS, {{params, sizeof(CalcParamRecord), Access::written}});
}

int32_t VUZIZI_CALL SetParamCalcQor(const CalcParamRecord* params)
{
    return answer(SET_CALC_PARAMS, {{params, sizeof(CalcParamRecord), Access::read_only}});
}

int32_t VUZIZI_CALL RunCalculQor(void)
{
    return answer(RUN_CALCULATION);
}

int32_t VUZIZI_CALL SetInfoCourbe(const CurveSelectRecord* selection)
{
    return answer(SET_CURVE_INFO, {{selection, sizeof(CurveSelectRecord), Access::read_only}});
}

int32_t VUZIZI_CALL GetNbPtUneCourbe(const int32_t* zero, int32_t* count)
{
    return answer(GET_CURVE_SIZE, {{zero, INT32_SIZE, Access::read_only},
                                       {count, INT32_SIZE, Access::written}});
}

int32_t VUZIZI_CALL GetUneCourbe(const int32_t* zero, double* times, double* values,
                                 int32_t* slot1, int32_t* slot2, unsigned char* area)
{
    return answer(GET_CURVE, {{zero, INT32_SIZE, Access::read_only},
                                   {times, UNSIZED, Access::written},
                                   {values, UNSIZED, Access::written},
                                   {slot1, INT32_SIZE, Access::written},
                                   {slot2, INT32_SIZE, Access::written},
                                   {area, CURVE_AREA_LEN, Access::written}});
}
