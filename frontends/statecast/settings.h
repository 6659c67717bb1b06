// The settings of one statecast run, taken from the command line before
// anything is read; the parser reads the defaults of the object properties
// from them.
#pragma once

#include <cstdint>
#include <string>

namespace statecast {

struct Settings {
    std::int32_t route_capacity = 1;     // -DC
    std::int32_t route_instances = 1;    // -DS
    std::int32_t queue_capacity = 1;     // -DQ
    std::int32_t process_instances = 1;  // -DP
    std::int32_t route_variant = 0;      // -BS
    std::int32_t process_variant = 0;    // -BP
    std::int32_t overflow = 1;           // -O
    bool model_environment = true;       // -E switches it off
    std::string input, net_file, properties_file, reference_file, information_file;
    bool explicit_properties = false;    // named with -p
};

extern Settings settings;

}  // namespace statecast
