// Table-driven reader of the VOS net text family: the caller describes the
// accepted format identifiers, the sections with their field letters and
// kinds, and, for the sections it cares about, a handler with the variables
// that receive the fields of one entry.  Fields without a variable are
// rendered into a canonical text for the handler.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mnet {

enum SectionFieldType : int { SF_STRING = 1, SF_PAIR = 2, SF_NUMBER = 3, SF_FLAG = 4 };

// A field letter and its kind.  The letters '\'' and '"' stand for a bare
// quoted string, '0' for a leading number without a letter (the
// identifier), '@' for a number pair without a letter (x@y, n<m, n>m).
struct SectionField {
    char letter;
    int type;
};

struct SectionDescription {
    std::string keyword;
    bool optional = true;
    bool same_line = false;  // the rest of the keyword's line is an entry
    std::vector<SectionField> fields;
};

struct NumberPair {
    std::int32_t first = 0, second = 0;
};

// Variable of a field, by the field's kind: std::optional<std::string>* for
// a string, std::optional<NumberPair>* for a pair, std::int32_t* for a
// number, std::int32_t* (count of occurrences) for a flag.
struct SectionTarget {
    char letter;
    void* variable;
};

struct SectionHandler {
    std::string keyword;
    std::function<int()> callback;  // 0 to go on
    std::string* text = nullptr;    // receives the entry's canonical text
    std::vector<SectionTarget> targets;
};

// Format identifier of the last file read.
extern std::string last_format_identifier;

void read_sections(const std::string& path, const std::vector<std::string>& identifiers,
                   const std::vector<SectionDescription>& descriptions, std::vector<SectionHandler>& handlers);
const std::vector<SectionDescription>& any_net_sections();
// The sections of an open file whose header lines have been read, in file
// order, to its end; the scanner state (file name, line) is the caller's.
// Errors go through the error hook as in read_sections; when a replaced hook
// returns, the reading stops and the file stays open.
void ReadSections(std::FILE* f, std::vector<SectionHandler>& handlers,
                  const std::vector<SectionDescription>& descriptions = any_net_sections());
// read_sections with the identifiers HLNet, PetriBox, PlainNet and the
// sections of a net file.
void ReadAnyNet(const std::string& path, std::vector<SectionHandler>& handlers);

}  // namespace mnet
