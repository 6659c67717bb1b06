// The command line of autocast: its option letters, the file names and the
// usage text, and the default process declaration formed from the project
// file's name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace autocast {

// Procedure-box modes (-u, -u1: the set box; -u2: the stack box).
enum BoxMode : int { BOX_NONE = 0, BOX_SET = 1, BOX_STACK = 2 };

// Largest instance identifier of -g<lo>..<hi>: the values above it are the
// truth values and dot.
constexpr std::uint16_t MAX_IDENTIFIER = 32763;

struct Settings {
    std::string program = "autocast";
    std::string project_file;
    std::string net_file;  // -o; without it the net is built but not written
    std::string ref_file;  // -r; without it no reference file
    // Whether a word followed -o or -r: an empty word names a file that
    // cannot be opened, not the absence of the file.
    bool net_file_given = false, ref_file_given = false;
    std::optional<std::string> process_declaration;  // -P
    bool no_scoping = false;      // -S
    bool blocks = false;          // -b
    bool phantoms = false;        // -p
    bool omit_init_term = false;  // -i
    std::uint16_t scale = 1;      // -s#
    bool procedure_semantics = false;  // -g, -u
    int box_mode = BOX_NONE;
    // Identifier range of -g<lo>..<hi>; 0 when none was given.
    std::uint16_t id_lo = 0, id_hi = 0;
    bool has_id_range() const { return id_lo != 0 && id_hi != 0; }
};

// Scans the command line.  A usage error throws a Failure (status 1) whose
// message is the usage text; an unknown letter one with "unknown flag: '%c'".
Settings parse_command_line(int argc, const char* const* argv);

// The usage text with the version line, as printed on a usage error.
std::string usage_text(const std::string& program);

// "proc <base>": the project file's last path component without its
// extension, every further '.' replaced by '_'.
std::string default_process_declaration(const std::string& project_file);

}  // namespace autocast
