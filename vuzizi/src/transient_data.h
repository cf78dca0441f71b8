// Transient data held by the network: wave speeds per pipe and surge devices on nodes.
// Filled by the model-file sections of the transient run; the network side only keeps it.
#pragma once

#include <string>
#include <vector>

namespace vuzizi {

struct TransientData {
    // Wave speed of each link in m/s (indexed like Network::links); 0 means the default.
    std::vector<double> wave_speed;
    double default_wave_speed = 0.0;  // m/s; 0 lets the transient run choose
};

}  // namespace vuzizi
