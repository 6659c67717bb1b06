// Test support shared by every subsystem: a tiny explicit-state explorer of
// place/transition nets and a seeded generator of random small 1-safe nets.
// The checkers and the unfolder are tested against the explorer: a verdict is
// only right when it agrees with the explorer's.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A small place/transition net.  Places and transitions are indexed from 0;
// in written files they are numbered from 1.  Arc weights are 1 unless
// pre_weight/post_weight say otherwise: they run parallel to pre/post, and
// a transition whose weight list is missing or shorter has weight 1 on the
// arcs it does not cover, so nets built without weights need no change.
struct TestNet {
    std::vector<std::string> place_names;
    std::vector<std::string> trans_names;
    std::vector<std::vector<int>> pre;   // per transition: input places
    std::vector<std::vector<int>> post;  // per transition: output places
    std::vector<int> m0;                 // initial marking per place
    std::vector<std::vector<int>> pre_weight;   // per transition, parallel to pre
    std::vector<std::vector<int>> post_weight;  // per transition, parallel to post

    int places() const { return static_cast<int>(place_names.size()); }
    int transitions() const { return static_cast<int>(trans_names.size()); }
    int place_index(const std::string& name) const;  // -1 if absent
    int trans_index(const std::string& name) const;  // -1 if absent
    // Weight of the i-th input (output) arc of transition t.
    int pre_w(int t, std::size_t i) const;
    int post_w(int t, std::size_t i) const;
};

// A marking: token count per place.
using Marking = std::vector<int>;

struct RandomNetParams {
    // Shape: false gives a net composed of state machines ("components"),
    // each holding one token, whose transitions synchronise 1..max_sync
    // components; such nets are 1-safe by construction.  true gives an
    // arbitrary random net with random presets and postsets, kept only when
    // the explorer finds it 1-safe (the seed is advanced until one is).
    bool general = false;
    int components = 3;        // state-machine shape
    int states_per_component = 3;
    int max_sync = 2;
    int places = 6;            // general shape
    int transitions = 6;
    int max_preset = 3;        // general shape: preset/postset size bound
    double self_loop = 0.1;    // chance that a transition also reads a place it keeps
};

// A random 1-safe net drawn from the seed; the same seed gives the same net.
TestNet random_safe_net(std::uint64_t seed, const RandomNetParams& params = {});

// Text of the net in the VOS low-level format ("PlainNet", FORMAT_N); weights
// above 1 are written as "w" fields.
std::string to_vos(const TestNet& net);
// Writes to_vos(net) to a file; returns false on failure.
bool write_vos(const TestNet& net, const std::string& path);

// Reads a net of the VOS low-level text format ("PetriBox", "PlainNet" or
// "HLNet" with FORMAT_N or FORMAT_N2, as flatnet and the test writers make
// it) the way trelmik marks it: the initial marking is the M field, and in
// a "PetriBox" net an entry place ('e') starts with one token while a place
// whose last marking field was a high-level one (Z, z, y) starts empty.
// Names default to "PL%d"/"TR%d"; arcs carry their "w" weights (arcs
// repeated between the same nodes add up); blocks, phantom transitions and
// their arcs are skipped.  nullopt, with a message in *error, on text it
// does not understand.
std::optional<TestNet> parse_vos(const std::string& text, std::string* error = nullptr);
std::optional<TestNet> read_vos(const std::string& path, std::string* error = nullptr);

bool enabled(const TestNet& net, const Marking& m, int t);
Marking fire(const TestNet& net, const Marking& m, int t);

// The reachability graph, explored breadth-first from the initial marking.
struct StateSpace {
    std::vector<Marking> states;              // states[0] is the initial marking
    std::vector<std::pair<int, int>> parent;  // (previous state, transition); (-1,-1) at the root
    std::vector<std::vector<std::pair<int, int>>> succ;  // (transition, state)
    bool safe = true;      // no reachable marking puts two tokens on a place
    bool complete = true;  // false when max_states was reached
};

StateSpace explore(const TestNet& net, std::size_t max_states = 200000);

// Indices of the dead states (no transition enabled).
std::vector<int> dead_states(const StateSpace& ss);
bool has_deadlock(const StateSpace& ss);

// Whether some reachable marking satisfies the predicate; and a shortest
// firing sequence (transition indices) to such a marking.
bool reachable(const StateSpace& ss, const std::function<bool(const Marking&)>& pred);
std::optional<std::vector<int>> path_to(const StateSpace& ss,
                                        const std::function<bool(const Marking&)>& pred);

// Whether some reachable marking puts at least one token on each listed place.
bool coverable(const StateSpace& ss, const std::vector<int>& places);

// Fires the sequence from the initial marking; nullopt when a transition of
// it is not enabled when its turn comes.
std::optional<Marking> replay(const TestNet& net, const std::vector<int>& seq);
std::optional<Marking> replay_names(const TestNet& net, const std::vector<std::string>& seq);

bool is_dead(const TestNet& net, const Marking& m);

// Shell helpers for tests that run programs: a fresh temporary directory
// (removed by the destructor) and running a command line to its exit code.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
private:
    std::string path_;
};

struct RunResult {
    int exit_code = -1;   // the exit status, or 128+signal
    std::string out;      // standard output
    std::string err;      // standard error
};
// Runs the command through /bin/sh with its standard input from /dev/null.
RunResult run(const std::string& command);

std::string read_file(const std::string& path);
bool write_file(const std::string& path, const std::string& text);
// Quotes a string for the shell.
std::string shell_quote(const std::string& s);

}  // namespace testsupport
