// Net preparation before the run (complement places, splitting of
// transitions), the further writers of the prefix (the
// prefix as a net, Matlab, pstricks, incidence matrix) and the LTL test of
// accepting transitions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "unfold.h"
#include "writers.h"

namespace netlib {
struct NET;
}

namespace trelmik {

// ---- preparation ----------------------------------------------------------------
// An initial marking with two or more tokens on a place: the net is not
// 1-safe.  Prints "The given net is not 1-safe in place '%s'\n" for the last
// such place in list order and throws ExitRequest{101}; nothing otherwise.
void refuse_unsafe_marking(const netlib::NET* net);
void refuse_unsafe_marking(const InputNet& net);

// Adds a complement place "|p|" for every place p, ahead of the places, with
// the marking 1 - M(p).  Transitions that both consume and produce p keep
// their arcs at p and get none to the complement.  A place with more than one
// token: refuse_unsafe_marking.
void add_complement_places(netlib::NET* net);

// Splits every transition with three or more input places into two-input
// gadgets: mode 1 serially, mode 2 as a balanced tree; other modes do nothing.
void split_transitions(netlib::NET* net, int mode);

// ---- writers ----------------------------------------------------------------------
// The prefix as a VOS net ".unf_net"; layered places the nodes by depth (-UG).
void write_unf_net(const std::string& name, const InputNet& net, const Prefix& pf, bool layered);

// The prefix as a Matlab function ".m"; `algorithm` names the unfolding
// algorithm in its comment ("McMillan", "ERV", ...).
void write_matlab(const std::string& name, const std::string& net_file, const InputNet& net,
                  const Prefix& pf, const Configurations& configs,
                  const std::string& algorithm = "McMillan");

// The ".unf" text under the name with "Q" appended, for maximal
// configurations computed after the run: cut-offs with their (last)
// corresponding events and only the count of the configurations.
void write_unf_last(const std::string& name, const std::string& net_file, const InputNet& net,
                    const Prefix& pf, const Configurations& configs);

// A pstricks drawing ".unf.pst.tex".
void write_pstricks(const std::string& name, const std::string& net_file, const InputNet& net,
                    const Prefix& pf);

// The incidence matrix of the prefix: to a file ".ent" or onto a stream.
void write_entry_file(const std::string& name, const InputNet& net, const Prefix& pf,
                      const Configurations& configs);
void print_prefix_matrix(std::FILE* out, const InputNet& net, const Prefix& pf,
                         const Configurations& configs);

// ---- LTL ------------------------------------------------------------------------------
// Counts the accepting transitions (names beginning with '@').  None:
// "WARNING: No accepting '@' transitions given (LTL)" on the error stream;
// 65535 or more: "Internal overflow: more than 2^16 accepting transitions
// (LTL)" and ExitRequest{100}.
std::uint32_t check_accepting(netlib::NET* net);

// An accepting cycle: a cut-off whose corresponding event is the initial
// marking or lies in the cut-off's local configuration, with an accepting
// event among the events of the cut-off's configuration that the
// corresponding one lacks.  Lists are event numbers in ascending order.
struct LtlWitness {
    bool found = false;
    std::uint32_t cutoff = 0, corresponding = 0;
    std::vector<std::uint32_t> cutoff_config, corr_config;
};

// Asked by the loops at every cut-off: the first one that closes an accepting
// cycle stops the run and becomes the witness.
class AcceptingCycleWatch : public CutoffWatch {
public:
    explicit AcceptingCycleWatch(const InputNet& net) : net_(net) {}
    bool stops(const Prefix& pf, std::uint32_t e, std::uint32_t corr) override;
    const LtlWitness& witness() const { return w_; }

private:
    const InputNet& net_;
    LtlWitness w_;
    // Per event: some accepting event lies in [e] (rules out most cut-offs
    // without a walk of their configurations); filled as events appear.
    std::vector<std::uint8_t> accepting_below_;
    std::vector<std::uint32_t> stamp_;
    std::uint32_t mark_ = 0;
};

// The witness of a finished prefix: its cut-offs asked in detection order.
LtlWitness find_accepting_cycle(const InputNet& net, const Prefix& pf);

// Writes "Y\n" with the witness's transition names or "N\n".  The name is
// taken as given, or the net file's name plus ".LTLcnf" when empty.
void write_LTLcnf(const std::string& name, const std::string& net_file, const InputNet& net,
                  const Prefix& pf, const LtlWitness& w);

}  // namespace trelmik
