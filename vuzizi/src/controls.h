// Simple controls of the model file: a link's status or setting, set when a condition holds.
#pragma once

#include <cstdint>
#include <optional>

namespace vuzizi {

enum class ControlCondition {
    NodeBelow,  // tank level or junction pressure below the threshold
    NodeAbove,
    AtTime,     // simulation time equals `time`
    AtClockTime  // clock time of day equals `time`
};

// What a control sets: OPEN, CLOSED, or a setting (pump speed; valve setting in SI).
enum class ControlAction { Open, Closed, Setting };

struct Control {
    int32_t link = 0;
    ControlAction action = ControlAction::Open;
    double setting = 0.0;
    ControlCondition condition = ControlCondition::AtTime;
    int32_t node = -1;       // node conditions
    double threshold = 0.0;  // m: tank level, or pressure head of a junction
    double time = 0.0;       // s: time, or time of day
    int line = 0;
};

}  // namespace vuzizi
