// Prefix files as dlbacktrack reads them: the text form ".unf" and the binary
// form ".mci" of a finite complete prefix, both held as a net whose
// transitions are the events ("E<n>") and whose places are the conditions
// ("B<n>"), every arc of weight 1.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "net.h"

namespace dlbacktrack {

// A reader failure.  Fatal errors are reported as "\nFEHLER -- %s\n", syntax
// errors as the scanner's syntax error with file and line; both end the
// program with exit code 10.
class ReadError : public std::runtime_error {
public:
    enum class Kind { Fatal, Syntax };
    ReadError(Kind kind, const std::string& message, std::string file = {}, int line = 0)
        : std::runtime_error(message), kind(kind), file(std::move(file)), line(line) {}
    Kind kind;
    std::string file;
    int line;
};

struct NetDeleter {
    void operator()(netlib::NET* net) const;
};
using NetPtr = std::unique_ptr<netlib::NET, NetDeleter>;

// What a reader hands back.
struct PrefixFile {
    NetPtr net;                           // events = transitions, conditions = places
    std::vector<std::string> labels;      // names of transitions of the unfolded net
    std::vector<std::uint32_t> event_label;  // per event number (0 unused): index into labels
    std::vector<std::uint8_t> cutoff;     // per event number (0 unused): non-zero for a cut-off
    std::uint32_t cutoff_count = 0;       // cut-off entries listed in the file
    // Event names of the first maximal configuration, collected only when the
    // file lists no cut-off event; without duplicates, in file order.
    std::vector<std::string> config_names;
    // readMCI only: the place names of the unfolded net in file order, and
    // per condition number (0 unused) the place number its record gives
    // (1-based position in place_names; not checked by the reader).
    std::vector<std::string> place_names;
    std::vector<std::uint32_t> condition_place;

    std::uint32_t events() const { return static_cast<std::uint32_t>(event_label.size()) - 1; }
    const std::string& label(std::uint32_t event) const { return labels[event_label[event]]; }
};

// Both readers throw ReadError on every failure.
PrefixFile readUNF(const std::string& path);
PrefixFile readMCI(const std::string& path);
// The ".mci" reader over bytes already in memory; `name` is used in messages.
PrefixFile readMCI_data(const std::string& data, const std::string& name);
PrefixFile readUNF_data(const std::string& text, const std::string& name);

}  // namespace dlbacktrack
