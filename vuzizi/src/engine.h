// The one engine instance behind the C interface: lifecycle state and the loaded network.
#pragma once

#include <cstdint>
#include <string>

namespace vuzizi {

// Version text reported by GetNumeroVersion (four characters and a zero byte).
inline constexpr char kVersion[] = "0.10";

class Engine {
public:
    // Opens the API; `level` > 0 is the diagnostic level, -1 is silent.
    int32_t open(int32_t level);
    void initialise();
    void close();

    bool is_open() const { return open_; }
    bool is_initialised() const { return initialised_; }
    int32_t level() const { return level_; }

private:
    bool open_ = false;
    bool initialised_ = false;
    int32_t level_ = -1;
};

// The process-wide instance the C interface works on.
Engine& engine();

// Engine statuses: the lowest bit tells success.
inline constexpr int32_t kStatusOk = 1;
inline constexpr int32_t kStatusFailed = 0;

}  // namespace vuzizi
