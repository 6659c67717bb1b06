// The one reader of prefix files, shared by every checker that reads a
// finite complete prefix: the binary form ".mci" and the text form ".unf".
//
// A reader fills a `Prefix` in one pass over the file: every relation is a
// range of one contiguous array, every name a piece of one character buffer.
// Both readers apply the same checks, so a file that one checker takes for a
// prefix is taken by all of them, and everything a reader hands back is
// consistent: numbers in range, the flow acyclic (every consumer is numbered
// after the condition's pre-event), every event with a preset, nothing after
// a cut-off, names neither empty nor repeated.  A failure is a `ReadError`;
// each program turns it into its own message and exit code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace prefixfile {

// A list of numbers inside a contiguous array.
class Span {
public:
    Span() = default;
    Span(const std::uint32_t* b, const std::uint32_t* e) : b_(b), e_(e) {}
    const std::uint32_t* begin() const { return b_; }
    const std::uint32_t* end() const { return e_; }
    std::size_t size() const { return static_cast<std::size_t>(e_ - b_); }
    bool empty() const { return b_ == e_; }
    std::uint32_t operator[](std::size_t i) const { return b_[i]; }
    std::uint32_t front() const { return *b_; }
    std::uint32_t back() const { return e_[-1]; }

private:
    const std::uint32_t* b_ = nullptr;
    const std::uint32_t* e_ = nullptr;
};

// A relation from the nodes 1..n to lists of numbers: the list of node i is
// items[offset[i], offset[i+1]).  offset has n + 2 entries (index 0 unused).
struct Relation {
    std::vector<std::uint32_t> offset;
    std::vector<std::uint32_t> items;

    const std::uint32_t* begin(std::uint32_t i) const { return items.data() + offset[i]; }
    const std::uint32_t* end(std::uint32_t i) const { return items.data() + offset[i + 1]; }
    std::uint32_t size(std::uint32_t i) const { return offset[i + 1] - offset[i]; }
    Span operator[](std::uint32_t i) const { return Span(begin(i), end(i)); }
};

// Names numbered from 1, each a piece of one buffer (NUL after each name),
// with an index by name.
class NameTable {
public:
    std::uint32_t count() const { return static_cast<std::uint32_t>(start_.size()) - 1; }
    std::string_view operator[](std::uint32_t i) const {
        return std::string_view(chars_.data() + start_[i - 1], start_[i] - start_[i - 1] - 1);
    }
    std::string str(std::uint32_t i) const { return std::string((*this)[i]); }
    // Appends a name and returns its number; find() keeps giving the first
    // of equal names.
    std::uint32_t add(std::string_view name);
    // Number of the first name equal to `name`, 0 when there is none.
    std::uint32_t find(std::string_view name) const;
    void reserve(std::size_t names, std::size_t chars);

private:
    void grow_index();

    std::string chars_;
    std::vector<std::uint32_t> start_{0};
    std::vector<std::uint32_t> slots_;   // open addressing: name numbers, 0 = free
};

// A prefix: conditions 1..conditions, events 1..events; every per-node array
// has an unused entry 0.
struct Prefix {
    std::uint32_t conditions = 0;
    std::uint32_t events = 0;

    std::vector<std::uint32_t> event_transition;   // transition of the unfolded net
    std::vector<std::uint32_t> condition_place;    // place of the unfolded net
    std::vector<std::uint32_t> condition_pre;      // pre-event, 0 for an initial condition
    Relation consumers;   // per condition: its post-events, ascending
    Relation preset;      // per event: the conditions it consumes, ascending
    Relation postset;     // per event: the conditions it produces, ascending

    // Cut-off pairs (cut-off event, corresponding event or 0) in the order
    // the file lists them (the unfolder's detection order), and per event a
    // mark that is 1 for a listed cut-off.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> cutoffs;
    std::vector<std::uint8_t> cutoff;
    // Entries of the file's cut-off list: the pairs of a ".mci" file; in a
    // ".unf" file also the names that name no event (they mark nothing).
    std::uint32_t cutoff_entries = 0;

    // The events of the first maximal configuration in the file, without
    // repetitions, in file order (".unf": read only when the file lists no
    // cut-off, names without an event left out), and the number of
    // configurations the file lists (".mci" only).
    std::vector<std::uint32_t> first_configuration;
    std::uint32_t configurations = 0;

    NameTable places;        // names of the places of the unfolded net
    NameTable transitions;   // names of its transitions
    std::uint32_t longest_name = 0;   // the bound the ".mci" file states

    // Event names of a ".unf" file; empty for ".mci", whose events are "E%u".
    std::vector<std::string> event_names;

    std::string event_name(std::uint32_t e) const;
    std::string_view place_of(std::uint32_t c) const { return places[condition_place[c]]; }
    std::string_view label(std::uint32_t e) const { return transitions[event_transition[e]]; }
    std::uint32_t cutoff_count() const { return static_cast<std::uint32_t>(cutoffs.size()); }
};

// Why a file is not a prefix.
enum class Failure {
    NoName,       // empty file name
    CannotOpen,   // missing, unreadable or a directory
    ReadFailed,   // an input error after the file was opened
    Empty,        // no conditions
    Truncated,    // the file ends early, or its counts exceed what it holds
    Malformed,    // numbers or names that no prefix has, or bytes after its end
    Syntax,       // a ".unf" file that does not follow the text form
};

// The message is the one the search-based checkers print ("readMCI(): ...",
// "readUNF(): ..." or a token routine's text); `line` is the line of a
// ".unf" file where a syntax error was found.
class ReadError : public std::runtime_error {
public:
    ReadError(Failure failure, const std::string& message, std::string file = {}, int line = 0)
        : std::runtime_error(message), failure(failure), file(std::move(file)), line(line) {}
    Failure failure;
    std::string file;
    int line;
};

// Opens a file for reading; nullptr (with errno set) when it cannot be
// opened or is a directory.
std::FILE* open_for_reading(const std::string& path, bool binary = true);

// The ".mci" readers: from a path, from a stream opened by the caller (read
// to its end, not closed) and from bytes in memory.  `name` is the file name
// for messages.  All throw ReadError.
Prefix read_mci(const std::string& path);
Prefix read_mci(std::FILE* file, const std::string& name);
Prefix read_mci_bytes(std::string_view bytes, const std::string& name);

// The ".unf" readers.
Prefix read_unf(const std::string& path);
Prefix read_unf_text(std::string_view text, const std::string& name);

}  // namespace prefixfile
