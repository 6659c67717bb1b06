// Consistency check, duplicate place removal, block composition, declaration
// triples and the finishing of a net.
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "fixture.h"
#include "mnet_hlnet.h"

namespace algebra_test {
namespace {

using AlgebraFinish = Algebra;

// ---------------------------------------------------------------------------
// CheckNet

// A choice of two sequences with a phantom copy of one transition, linked.
MNet* sample() {
    MNet* n = M_choice(M_sequence(atom("a", "", "a"), atom("b", "", "b")), atom("c", "", "c"));
    MTransition* a = named(n, "a");
    MTransition* ph = M_Copy2PTransition(n, a);
    add_phantom_link(a, ph);
    add_phantom_link(ph, a);
    return n;
}

struct Corruption {
    const char* what;
    int code;
    // Breaks the net and returns what mends it again.
    std::function<std::function<void()>(MNet*)> apply;
};

MPlace* internal_place(MNet* n) {
    for (MPlace* p : places(n))
        if (p->type == PLACE_INTERNAL) return p;
    return nullptr;
}

TEST_F(AlgebraFinish, CheckNetFindsEachDefect) {
    const std::vector<Corruption> cases = {
        {"first place has a predecessor", -1,
         [](MNet* n) {
             n->first_place->prev = n->last_place;
             return [n] { n->first_place->prev = nullptr; };
         }},
        {"successor does not point back", -2,
         [](MNet* n) {
             MPlace* s = n->first_place->next;
             s->prev = nullptr;
             return [n, s] { s->prev = n->first_place; };
         }},
        {"last place is not the tail", -13,
         [](MNet* n) {
             MPlace* last = n->last_place;
             n->last_place = n->first_place;
             return [n, last] { n->last_place = last; };
         }},
        {"no first place but a last one", -14,
         [](MNet* n) {
             MPlace* first = n->first_place;
             n->first_place = nullptr;
             return [n, first] { n->first_place = first; };
         }},
        {"place count", -15,
         [](MNet* n) {
             ++n->place_count;
             return [n] { --n->place_count; };
         }},
        {"first incoming arc has a predecessor", -3,
         [](MNet* n) {
             MPlace* p = internal_place(n);
             p->in->pprev = p->out;
             return [p] { p->in->pprev = nullptr; };
         }},
        {"outgoing arc missing from the pre-set", -12,
         [](MNet* n) {
             MPlace* p = internal_place(n);
             MTransition* t = p->out->trans;
             MArc* a = t->pre;
             t->pre = nullptr;
             return [t, a] { t->pre = a; };
         }},
        {"arc lists out of list order", -11,
         [](MNet* n) {
             // The entry place feeds a and c: move a from the head of the
             // transition list to its tail.
             MTransition* t = n->first_trans;
             n->first_trans = t->next;
             t->next->prev = nullptr;
             t->prev = n->last_trans;
             n->last_trans->next = t;
             t->next = nullptr;
             n->last_trans = t;
             return [n] {
                 MTransition* u = n->last_trans;
                 n->last_trans = u->prev;
                 u->prev->next = nullptr;
                 u->prev = nullptr;
                 u->next = n->first_trans;
                 n->first_trans->prev = u;
                 n->first_trans = u;
             };
         }},
        {"first transition has a predecessor", -21,
         [](MNet* n) {
             n->first_trans->prev = n->last_trans;
             return [n] { n->first_trans->prev = nullptr; };
         }},
        {"pre-set arc missing from its place", -27,
         [](MNet* n) {
             MTransition* b = named(n, "b");
             MPlace* p = b->pre->place;
             MArc* a = p->out;
             p->out = nullptr;
             return [p, a] { p->out = a; };
         }},
        {"transition count one too high", -35,
         [](MNet* n) {
             ++n->trans_count;
             return [n] { --n->trans_count; };
         }},
        {"no first transition but a last one", -34,
         [](MNet* n) {
             MTransition* first = n->first_trans;
             n->first_trans = nullptr;
             return [n, first] { n->first_trans = first; };
         }},
        {"guard conjunct without header", -201,
         [](MNet* n) {
             MTransition* b = named(n, "b");
             b->guard.push_back(TermTable{{N_CONST, 1, 0}});
             return [b] { b->guard.clear(); };
         }},
        {"guard operand out of its conjunct", -202,
         [](MNet* n) {
             MTransition* b = named(n, "b");
             b->guard.push_back(TermTable{{0, 0, 0}, {N_NOT, 4, 0}});
             return [b] { b->guard.clear(); };
         }},
        {"restrictions out of order", -203,
         [](MNet* n) {
             MTransition* b = named(n, "b");
             b->restrictions = {{2, NO_COMPONENT, {1}}, {1, NO_COMPONENT, {1}}};
             return [b] { b->restrictions.clear(); };
         }},
        {"phantom link not returned", -304,
         [](MNet* n) {
             MTransition* b = named(n, "b");
             n->first_phantom->links.push_back(b);
             return [n] { n->first_phantom->links.pop_back(); };
         }},
        {"link to a phantom of another net", -205,
         [](MNet* n) {
             static MTransition stranger;
             MTransition* b = named(n, "b");
             b->links.push_back(&stranger);
             return [b] { b->links.clear(); };
         }},
        {"phantom count", -135,
         [](MNet* n) {
             ++n->phantom_count;
             return [n] { --n->phantom_count; };
         }},
        {"phantom arc missing from its place", -127,
         [](MNet* n) {
             MPlace* p = n->first_phantom->pre->place;
             MArc* a = p->phantom_out;
             p->phantom_out = nullptr;
             return [p, a] { p->phantom_out = a; };
         }},
    };
    for (const Corruption& c : cases) {
        MNet* n = sample();
        ASSERT_EQ(CheckNet(n), 0);
        auto mend = c.apply(n);
        EXPECT_EQ(CheckNet(n), c.code) << c.what;
        mend();
        EXPECT_EQ(CheckNet(n), 0) << c.what;
        FreeNet(&n);
    }
}

TEST_F(AlgebraFinish, CheckNetOfEmptyNetAndNumbering) {
    MNet* n = M_new_net();
    EXPECT_EQ(CheckNet(n), 0);
    FreeNet(&n);
    n = sample();
    number_elements(n);
    std::uint32_t k = 0;
    for (MPlace* p : places(n)) EXPECT_EQ(p->number, ++k);
    k = 0;
    for (MTransition* t : transitions(n)) EXPECT_EQ(t->number, ++k);
    EXPECT_EQ(n->first_phantom->number, 1u);
    FreeNet(&n);
}

// ---------------------------------------------------------------------------
// Duplicate places

struct Hand {
    MNet* net = M_new_net();
    ~Hand() { FreeNet(&net); }
    MPlace* place(std::uint32_t number, ValueSet type = {VAL_DOT}) {
        MPlace* p = M_fast_insert_place(net, number, nullptr);
        p->components.emplace_back(std::move(type));
        return p;
    }
    MTransition* trans(std::uint32_t number, bool phantom = false) {
        return phantom ? M_fast_insert_transition(&net->phantom_count, &net->first_phantom, &net->last_phantom,
                                                  number, nullptr, 1)
                       : M_fast_insert_transition(&net->trans_count, &net->first_trans, &net->last_trans, number,
                                                  nullptr, 0);
    }
    MArc* tp(std::uint32_t t, std::uint32_t p, std::uint16_t code = 0, bool phantom = false) {
        MArc* a = M_fast_insert_TP_edge(net->first_place, phantom ? net->first_phantom : net->first_trans, p, t,
                                        nullptr, nullptr, nullptr, phantom);
        a->inscription = new_inscription(code);
        return a;
    }
    MArc* pt(std::uint32_t p, std::uint32_t t, std::uint16_t code = 0, bool phantom = false) {
        MArc* a = fast_insert_PT_edge(net->first_place, phantom ? net->first_phantom : net->first_trans, p, t,
                                      nullptr, nullptr, nullptr, phantom);
        a->inscription = new_inscription(code);
        return a;
    }
    // Two places 1 and 2 from transition 1 to transition 2.
    void twins(ValueSet type = {VAL_DOT}) {
        place(1, type);
        place(2, type);
        trans(1);
        trans(2);
        for (std::uint32_t p : {1u, 2u}) {
            tp(1, p);
            pt(p, 2);
        }
    }
    std::array<std::uint32_t, 3> run() {
        std::array<std::uint32_t, 3> c{9, 9, 9};
        remove_duplicate_places(net, &c[0], &c[1], &c[2]);
        return c;
    }
};

TEST_F(AlgebraFinish, DuplicatePlacesBetweenTheSameTransitions) {
    Hand h;
    h.twins();
    EXPECT_EQ(h.run(), (std::array<std::uint32_t, 3>{1, 0, 0}));
    EXPECT_EQ(h.net->place_count, 1u);
    EXPECT_EQ(CheckNet(h.net), 0);
}

TEST_F(AlgebraFinish, PlacesWithDifferentMarkingsStay) {
    Hand h;
    h.twins();
    h.net->first_place->initial_marking = std::string("{dot}");
    EXPECT_EQ(h.run(), (std::array<std::uint32_t, 3>{0, 0, 0}));
    EXPECT_EQ(h.net->place_count, 2u);
}

TEST_F(AlgebraFinish, DotPlacesCompareTokenCounts) {
    for (bool dot : {true, false}) {
        Hand h;
        h.twins(dot ? ValueSet{VAL_DOT} : ValueSet{1, 2});
        h.net->first_place->in->inscription = new_inscription(CODE_DOT);
        EXPECT_EQ(h.run()[0], dot ? 1u : 0u);
    }
}

TEST_F(AlgebraFinish, PlacesWithoutArcs) {
    Hand h;
    h.place(1);
    h.place(2);
    h.place(3, ValueSet{1});
    h.place(4);
    EXPECT_EQ(h.run(), (std::array<std::uint32_t, 3>{2, 0, 0}));
    EXPECT_EQ(h.net->place_count, 2u);
}

TEST_F(AlgebraFinish, DifferentPhantomArcsPreserveButCountOnce) {
    for (bool phantoms : {false, true}) {
        MNetOptions[1] = phantoms ? OPT1_PHANTOMS : 0;
        Hand h;
        h.twins();
        h.trans(1, true);
        h.tp(1, 1, 0, true);
        auto c = h.run();
        EXPECT_EQ(c, (phantoms ? std::array<std::uint32_t, 3>{0, 0, 1} : std::array<std::uint32_t, 3>{1, 0, 0}));
        EXPECT_EQ(CheckNet(h.net), 0);
    }
}

// ---------------------------------------------------------------------------
// Blocks and declarations

TEST_F(AlgebraFinish, BlockWithoutDeclarationsAndScopingOff) {
    MNetOptions[0] = OPT0_NO_SCOPING;
    MNet* body = M_sequence(atom("x(v)", "", "a"), atom("^x(w)", "", "b"));
    BlockParts parts;
    parts.body = body;
    MNet* r = compose_block(parts, actions("x(v)"));
    EXPECT_EQ(r, body);
    EXPECT_EQ(r->trans_count, 2u);
    EXPECT_EQ(r->place_count, 3u);
    FreeNet(&r);
}

TEST_F(AlgebraFinish, BlockIsInitBodyTermBesideDataScoped) {
    for (bool scoping : {true, false}) {
        MNetOptions[0] = scoping ? 0 : OPT0_NO_SCOPING;
        BlockParts parts;
        parts.body = atom("x(w)", "", "body");
        parts.init = atom("", "", "init");
        parts.data = atom("^x(v)", "", "data");
        parts.term = atom("", "", "term");
        MNet* r = compose_block(parts, actions("x(v)"));
        MTransition* join = named(r, "data*body");
        if (scoping) {
            ASSERT_EQ(r->trans_count, 3u);
            ASSERT_NE(join, nullptr);
            EXPECT_LT(named(r, "init")->y, join->y);
            EXPECT_LT(join->y, named(r, "term")->y);
        } else {
            EXPECT_EQ(r->trans_count, 4u);
            EXPECT_EQ(join, nullptr);
            EXPECT_LT(named(r, "init")->y, named(r, "body")->y);
            EXPECT_LT(named(r, "body")->y, named(r, "term")->y);
        }
        EXPECT_EQ(count_type(r, PLACE_ENTRY), 2);  // init's and data's
        EXPECT_EQ(CheckNet(r), 0);
        FreeNet(&r);
    }
}

TEST_F(AlgebraFinish, MergingDeclarations) {
    for (bool parallel : {false, true}) {
        MNetOptions[0] = parallel ? OPT0_PARALLEL_DECLS : 0;
        DeclTriple d1{atom("", "", "i1"), atom("", "", "d1"), atom("", "", "t1")};
        DeclTriple d2{atom("", "", "i2"), atom("", "", "d2"), atom("", "", "t2")};
        DeclTriple m = merge_declarations(d1, d2);
        if (parallel) {
            EXPECT_EQ(named(m.init, "i1")->y, named(m.init, "i2")->y);
            EXPECT_EQ(named(m.term, "t1")->y, named(m.term, "t2")->y);
        } else {
            EXPECT_LT(named(m.init, "i1")->y, named(m.init, "i2")->y);
            EXPECT_LT(named(m.term, "t2")->y, named(m.term, "t1")->y);
        }
        EXPECT_EQ(named(m.data, "d1")->y, named(m.data, "d2")->y);
        EXPECT_LT(named(m.data, "d1")->x, named(m.data, "d2")->x);
        // A missing part takes the other's.
        DeclTriple only{nullptr, atom("", "", "d3"), nullptr};
        DeclTriple k = merge_declarations(m, only);
        EXPECT_EQ(k.init, m.init);
        EXPECT_EQ(k.term, m.term);
        EXPECT_EQ(k.data->trans_count, 3u);
        for (MNet* n : {k.init, k.data, k.term}) FreeNet(&n);
    }
}

// ---------------------------------------------------------------------------
// Finishing

TEST_F(AlgebraFinish, NothingToDo) {
    MNet* n = sample();
    testing::internal::CaptureStdout();
    finish_net(n);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(n->origin_x, 0);
    FreeNet(&n);
}

TEST_F(AlgebraFinish, ReportsOfTheEnabledSteps) {
    MNetOptions[0] = OPT0_DEAD_TRANSITIONS | OPT0_REMOVE_DUPLICATES | OPT0_CHECK_CONSISTENCY;
    dead_transition_counter = 3;
    Hand h;
    h.twins();
    testing::internal::CaptureStdout();
    finish_net(h.net);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "3 dead transition(s) eliminated.\n"
              "Removing duplicates: 1 place(s), 0 transition(s),\n"
              "                     0 duplicate place(s) preserved because of different phantoms.\n\n"
              "Checking consistency of resulting net: OK !\n\n");
}

TEST_F(AlgebraFinish, InconsistentNetEndsWithCode5) {
    MNetOptions[0] = OPT0_CHECK_CONSISTENCY;
    MNet* n = sample();
    ++n->trans_count;
    // The message itself goes to standard output: run it in a child.
    std::fflush(stdout);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        finish_net(n);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[256];
    for (ssize_t k; (k = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(k));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 5);
    EXPECT_EQ(out, "Checking consistency of resulting net: inconsistent (-35)!\n\n");
    --n->trans_count;
    FreeNet(&n);
}

TEST_F(AlgebraFinish, WrittenNetStartsAtTheDrawingOrigin) {
    char dir[] = "/tmp/algebraXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    net_file_name = std::string(dir) + "/out.hl_net";
    MNet* n = sample();
    M_move(n, -90, 45);
    std::int32_t ax = named(n, "a")->x, ay = named(n, "a")->y;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    finish_net(n);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(n->origin_x, 30);
    EXPECT_EQ(n->origin_y, 30);
    EXPECT_EQ(named(n, "a")->x, ax + 120);
    EXPECT_EQ(named(n, "a")->y, ay - 15);
    EXPECT_NE(out.find("Writing in file"), std::string::npos) << out;
    commit_outputs();
    std::ifstream f(net_file_name);
    std::stringstream text;
    text << f.rdbuf();
    EXPECT_FALSE(text.str().empty());
    EXPECT_EQ(err, "");  // the transition counter agrees
    // A counter that disagrees is reported and the run goes on.
    transition_counter += 2;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    finish_net(n);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "info   : Transitions: counter (5) <> real number (3) !\n");
    FreeNet(&n);
    std::remove(net_file_name.c_str());
    rmdir(dir);
}

TEST_F(AlgebraFinish, TransitionReferencesInSourceOrder) {
    static RefRecord r1, r2, r3, r4;
    r1.line1 = 5, r1.col1 = 1;
    r2.line1 = 2, r2.col1 = 9;
    r3.line1 = 2, r3.col1 = 3;
    r4.line1 = 2, r4.col1 = 3, r4.line2 = 7;  // same start as r3
    std::uint16_t n1 = ref_code(&r1), n2 = ref_code(&r2), n3 = ref_code(&r3), n4 = ref_code(&r4);
    MNet* n = atom("a");
    n->first_trans->refs = {{n1, 0}, {n4, 0}, {n2, 0}, {n3, 0}};
    sort_transition_references(n);
    std::vector<std::uint16_t> order;
    for (const RefEntry& e : n->first_trans->refs) order.push_back(e.number);
    EXPECT_EQ(order, (std::vector<std::uint16_t>{n4, n3, n2, n1}));
    FreeNet(&n);
}

}  // namespace
}  // namespace algebra_test
