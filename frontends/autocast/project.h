// The project file: the global variable declarations (the VAR text, kept
// raw for the fragment parser) and the names of the automaton files.
//
//     VOS
//     PROJECT_vosPFA
//     VAR
//     var x : {0..3} init 0;
//     FA
//     a.pfa
//     b.pfa
#pragma once

#include <string>
#include <vector>

namespace autocast {

struct Project {
    std::string var_text;
    // One name per line after "FA", in file order; a file ending with a
    // line end yields a last, empty name (empty names are skipped).
    std::vector<std::string> automata;
};

// Parses the text of a project file; a deviation throws FormatError.
Project parse_project(std::string text);

// Reads and parses the project file.  Failures throw a Failure (status 1):
// "could not open project file %s\n" or "project file: error at line
// number %d".
Project read_project(const std::string& path);

// The whole content of a file; false when it cannot be opened or read.
bool read_file_text(const std::string& path, std::string& text);

}  // namespace autocast
