// Times synchronisation and scoping of the box algebra on nets shaped like
// the front ends' output: data boxes holding ^x beside many users holding x,
// and chains of transitions that hold both ends of an action.
//   mnetbench [users] [chain]
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

void run(const char* what, MNet* n, const ActionSet& acts, std::uint16_t limit, bool scope) {
    std::uint32_t before = n->trans_count;
    auto t0 = std::chrono::steady_clock::now();
    if (scope) M_scope(n, acts, limit);
    else M_synchronise(n, acts, limit);
    std::printf("%-40s %7u -> %7u transitions  %8.3f s\n", what, before, n->trans_count, seconds_since(t0));
    FreeNet(&n);
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
    return 0;
}
