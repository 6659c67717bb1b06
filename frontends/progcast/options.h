// progcast's command line: the option record and its parser, and the usage
// text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace progcast {

struct Options {
    std::uint16_t naming = 0;                  // -n: 3, B(PN)2 names for communication variables
    std::uint16_t scale = 1;                   // -s#
    std::uint16_t max_arc_variables = 2;       // -v#
    std::uint16_t instances = 2;               // -i#: default number of procedure instances
    std::uint32_t max_transitions = 2147483648u;  // -m#
    std::optional<std::string> exclude;        // -X=
    std::optional<std::string> ref_out;        // -z=
    std::optional<std::string> net_out;        // -p=
    std::optional<std::string> source_ref;     // -Z=: reference file of the source net (-j)
    std::optional<std::string> template_dir;   // -y=
    std::optional<std::string> sync_list;      // -j=...; without '=' every action of the net
    bool allow_fragments = false;              // -a
    bool no_old_warnings = false;              // -o
    bool procedure_semantics = false;          // -g
    bool free_memory = false;                  // -f
    std::uint8_t byte0 = 0, byte1 = 0;         // the flag letters
    char channel_variant = 0, procedure_variant = 0;  // -C<c>, -P<c>
    std::string source;

    bool sync_mode() const { return byte1 & 0x20; }
};

// Reads the command line; false when it is not one progcast accepts (the
// caller prints the usage and ends with status 1).
bool parse_options(int argc, const char* const* argv, Options& options);
void print_usage(const char* program, std::FILE* f);

}  // namespace progcast
