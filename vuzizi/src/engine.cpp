// Lifecycle of the engine instance.
#include "engine.h"

namespace vuzizi {

int32_t Engine::open(int32_t level) {
    level_ = level;
    open_ = true;
    return kStatusOk;
}

void Engine::initialise() {
    initialised_ = open_;
}

void Engine::close() {
    open_ = false;
    initialised_ = false;
    level_ = -1;
}

Engine& engine() {
    static Engine instance;
    return instance;
}

}  // namespace vuzizi
