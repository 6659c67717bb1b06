// Times synchronisation and scoping of the box algebra on nets shaped like
// the front ends' output: data boxes holding ^x beside many users holding x,
// chains of transitions that hold both ends of an action, and a net whose
// labels name two actions with many parameter patterns, synchronised over
// the list of all its terms (progcast's plain -j) against the sum of its
// actions synchronised one by one.
//   mnetbench [users] [chain] [limit]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mnet_algebra.h"
#include "mnet_labels.h"

using namespace mnet;

namespace {

MNet* atom(const std::string& label) {
    MTransition tmp;
    new_comvars(tmp.comvars, 1);
    ActionSet set = parse_actionset(label, &tmp);
    Guard g;
    return M_atomic_box(set, &g, &tmp.restrictions, tmp.comvars, 0);
}

ActionSet actions(const std::string& text) {
    MTransition tmp;
    return parse_actionset(text, &tmp);
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double run(const char* what, MNet* n, const ActionSet& acts, std::uint16_t limit, bool scope) {
    std::uint32_t before = n->trans_count;
    auto t0 = std::chrono::steady_clock::now();
    if (scope) M_scope(n, acts, limit);
    else M_synchronise(n, acts, limit);
    const double seconds = seconds_since(t0);
    std::printf("%-40s %7u -> %7u transitions  %8.3f s\n", what, before, n->trans_count, seconds);
    FreeNet(&n);
    return seconds;
}

// Five transitions naming a(.,.) and b(.) with constants and variables in
// several patterns, each with its entry and exit arcs.
MNet* patterns() {
    const char* labels[] = {"^a(1,1),b(x)", "a(x,y),^a(y,x)", "a(1,y),^b(y)", "^a(x,1),a(x,x)", "b(2),^b(z)"};
    MNet* n = atom(labels[0]);
    for (std::size_t k = 1; k < sizeof labels / sizeof *labels; ++k) n = M_parallel(n, atom(labels[k]));
    return n;
}

// Every term of the net's labels, as progcast's plain -j collects them.
ActionSet all_terms(const MNet* n) {
    ActionSet s;
    for (const MTransition* t = n->first_trans; t; t = t->next) actset_union(s, t->label);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const int users = argc > 1 ? std::atoi(argv[1]) : 4000;
    const int chain = argc > 2 ? std::atoi(argv[2]) : 6;
    init_action_buffers();
    init_var_buffers();
    init_symtabs();
    init_blocks();

    // Two data transitions of a variable, `users` accesses in sequence.
    MNet* n = M_choice(atom("^x(v)"), atom("^x(w)"));
    MNet* body = atom("x(a)");
    for (int i = 1; i < users; ++i) body = M_sequence(body, atom("x(b" + std::to_string(i % 7) + ")"));
    run("scope: 2 data x users", M_parallel(n, body), actions("x(v)"), 1, true);

    // Transitions holding a and ^a in a row: the joins of every segment.
    MNet* c = atom("^a,s");
    for (int i = 0; i < chain; ++i) c = M_parallel(c, atom("a,^a"));
    c = M_parallel(c, atom("a,e"));
    run("scope: chain of a,^a (limit 1)", c, actions("a"), 1, true);
    c = atom("^a,s");
    for (int i = 0; i < chain; ++i) c = M_parallel(c, atom("a,^a"));
    c = M_parallel(c, atom("a,e"));
    run("synchronise: chain of a,^a (limit 1)", c, actions("a"), 1, false);

    // The list of all terms against the actions named once, and against
    // the actions one by one (a second call over b on the net of the first
    // over a).  All three make the same transitions.
    const auto limit = static_cast<std::uint16_t>(argc > 3 ? std::atoi(argv[3]) : 3);
    MNet* p = patterns();
    const ActionSet every = all_terms(p);
    FreeNet(&p);
    std::printf("patterns: %zu terms in the list, limit %u\n", every.size(), limit);
    const double all = run("synchronise: all terms (-j)", patterns(), every, limit, false);
    run("synchronise: a(x,y),b(x) (-j=)", patterns(), actions("a(x,y),b(x)"), limit, false);
    p = patterns();
    auto t0 = std::chrono::steady_clock::now();
    M_synchronise(p, actions("a(x,y)"), limit);
    const double first = seconds_since(t0);
    const std::uint32_t middle = p->trans_count;
    t0 = std::chrono::steady_clock::now();
    M_synchronise(p, actions("b(x)"), limit);
    const double second = seconds_since(t0);
    std::printf("%-40s %7u -> %7u transitions  %8.3f s\n", "synchronise: a(x,y), then b(x)", 5u, middle, first);
    std::printf("%-40s %7u -> %7u transitions  %8.3f s\n", "", middle, p->trans_count, second);
    FreeNet(&p);
    std::printf("all terms / actions one by one: %.2f\n", first + second > 0 ? all / (first + second) : 0.0);
    return 0;
}
