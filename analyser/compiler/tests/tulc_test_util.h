// Helpers of tulc's tests: running the program in a scratch directory, an
// independent reader of the table file, and the compiler's tables reset for
// tests that call the library directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "petri_test.h"

namespace tulctest {

struct TulcRun {
    int code = -1;
    std::string out, err;
};

// A scratch directory holding a net description x.net and the directory
// x.src that tulc writes into.
class Workspace {
public:
    Workspace();
    std::string Path(const std::string& name) const { return dir_.file(name); }
    void Write(const std::string& name, const std::string& text) const;
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // Runs tulc in the directory with the analyser's cfg files under TULMPATH:
    // in a forked child of the test (cheap), or the built program itself.
    // Arguments are separated by blanks.
    TulcRun Tulc(const std::string& args) const;
    TulcRun TulcBinary(const std::string& args) const;
    // Writes x.net and runs "tulc <args>".
    TulcRun Compile(const std::string& net, const std::string& args = "x") const;

private:
    testsupport::TempDir dir_;
};

// The table file, read without the support library.
struct DatFile {
    bool ok = false;  // every section read and the length matched
    std::uint32_t namesOffset = 0, testerPlace = 0, classes = 0;
    std::vector<std::uint32_t> arity, vars, fd;
    std::vector<std::vector<std::string>> letSets;
    struct Entry {
        std::uint32_t place, count;
        std::vector<std::uint32_t> tuple;  // values after the signed mapping is undone
    };
    std::vector<Entry> marking;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> testerValues;  // value, bits
    bool hasBuchi = false;
    std::vector<std::vector<std::uint32_t>> succ;  // per state (0-based index of state 1..k)
    std::vector<std::uint32_t> initial, labels;
    std::vector<std::string> transitionNames;
    std::vector<std::vector<std::string>> variableNames;
    std::vector<std::string> enumNames, classNames, placeNames;
};
DatFile ReadDat(const std::string& bytes);

// Text cut into pieces as the preprocessor's tokens would cut it (names,
// numbers and white space runs, other characters one by one).
std::vector<std::string> Pieces(const std::string& text);

// Bytes as "03 02 02".
std::string Hex(const std::string& bytes);

// Resets the compiler's tables and switches for a test that calls the
// library in-process; places are declared with their initial markings.
void ResetCompiler();
void AddPlace(const std::string& name, const std::vector<std::pair<std::vector<std::uint32_t>, std::uint32_t>>& marking);

}  // namespace tulctest
