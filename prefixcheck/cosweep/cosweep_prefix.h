// The prefix as cosweep uses it: read from a ".mci" file by dlbacktrack's
// reader, with every condition labelled by the name of its place and every
// event by the name of its transition.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dlbacktrack_prefix.h"

namespace cosweep {

struct Prefix {
    dlbacktrack::PrefixFile file;              // the prefix as a net, and the name block
    std::uint32_t conditions = 0;              // numbered 1..conditions
    std::uint32_t events = 0;                  // numbered 1..events
    std::vector<std::uint32_t> pre_event;      // per condition: its pre-event, 0 for an initial one
    std::vector<std::vector<std::uint32_t>> preset;   // per event: the conditions it consumes

    const std::string& condition_label(std::uint32_t c) const {
        return file.place_names[file.condition_place[c] - 1];
    }
    const std::string& event_label(std::uint32_t e) const { return file.label(e); }
};

// Reads the prefix; a reader failure prints "\nFEHLER -- %s\n" on the error
// stream and ends the program with exit code 1.
Prefix readMCI(const std::string& path);
// The same over a prefix read already (throws dlbacktrack::ReadError).
Prefix make_prefix(dlbacktrack::PrefixFile file, const std::string& path);

}  // namespace cosweep
