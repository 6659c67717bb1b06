// Composed boxes written by the net writer read back as the same net.
#include <cstdio>
#include <map>
#include <unistd.h>

#include "fixture.h"
#include "mnet_hlnet.h"

namespace algebra_test {
namespace {

using AlgebraRoundTrip = Algebra;

// A transition as text, its variables named by their first appearance, so
// that two transitions that differ only in their slots give the same text.
struct Canonical {
    std::map<std::uint16_t, std::string> names;
    std::string text;

    void term(std::uint16_t code) {
        if (code < 256) {
            auto it = names.emplace(code, "v" + std::to_string(names.size())).first;
            text += it->second;
        } else if (is_tuple_code(code)) {
            text += "(";
            for (std::uint16_t e : get_tuple(static_cast<std::uint16_t>(code - TUPLE_BASE))) term(e), text += ",";
            text += ")";
        } else {
            text += std::to_string(std::int32_t(code) - CONST_BASE);
        }
    }
    void arcs(const MArc* a) {
        for (; a; a = a->tnext) {
            text += " p" + std::to_string(a->place->number) + ":";
            for (const InscTerm& i : a->inscription) term(i.code), text += "*" + std::to_string(i.count) + ",";
            text += "v" + std::to_string(a->flags);
        }
    }
    explicit Canonical(const MTransition* t) {
        for (const ActionTerm& a : t->label) {
            std::string name;
            action_name(a.code, name);
            text += name + "(";
            for (std::size_t k = 0; k < a.nparams; ++k) term(a.params[k]), text += ",";
            text += ")x" + std::to_string(a.mult) + " ";
        }
        text += "| pre";
        arcs(t->pre);
        text += " post";
        arcs(t->post);
        text += " | guard";
        for (const TermTable& c : t->guard) {
            text += " [";
            for (const TermNode& n : c) {
                text += std::to_string(n.kind) + ":";
                if (n.kind == N_VAR) term(n.left);
                else text += std::to_string(n.left);
                text += ":" + std::to_string(n.right) + " ";
            }
            text += "]";
        }
        text += " | restrict";
        for (const Restriction& r : t->restrictions) {
            text += " ";
            term(r.var);
            text += "." + std::to_string(r.component) + "{";
            for (std::int32_t v : r.values) text += std::to_string(v) + ",";
            text += "}";
        }
        text += " | flags " + std::to_string(t->flags);
    }
};

std::string place_text(const MPlace* p) {
    std::string s = std::to_string(p->number) + " type " + std::to_string(p->type) + " {";
    for (const TypeComponent& c : p->components) {
        if (!c) continue;
        for (std::int32_t v : *c) s += std::to_string(v) + ",";
        s += ";";
    }
    s += "} z " + p->initial_marking.value_or("-") + " y " + p->current_marking.value_or("-");
    return s;
}

TEST_F(AlgebraRoundTrip, ComposedAndScopedBoxReadsBack) {
    MNet* body = M_iteration(M_choice(atom("x(a),c(a)", "a < 3", "r1"), atom("x(b)", "b > 0", "r2")),
                             atom("^c(e)", "", "e"), nullptr);
    MNet* data = M_choice(atom("^x(v)", "v{0..3}: v # 2", "d1"), atom("^x(w)", "", "d2"));
    BlockParts parts;
    parts.body = body;
    parts.init = atom("", "", "init");
    parts.data = data;
    parts.term = atom("", "", "term");
    MNet* n = compose_block(parts, actions("x(v),c(v)"));
    ASSERT_EQ(CheckNet(n), 0);
    char dir[] = "/tmp/algebraXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    net_file_name = std::string(dir) + "/box.hl_net";
    testing::internal::CaptureStdout();
    finish_net(n);
    testing::internal::GetCapturedStdout();
    commit_outputs();
    MNet* back = read_VOS(net_file_name, nullptr);
    EXPECT_EQ(CheckNet(back), 0);
    // The scoped joins carry restrictions, guards of both partners and
    // merged arcs: all of it comes back.
    bool restricted = false;
    std::vector<MPlace*> p1 = places(n), p2 = places(back);
    ASSERT_EQ(p1.size(), p2.size());
    for (std::size_t i = 0; i < p1.size(); ++i) {
        // The writer marks the entry places with a token.
        if (p1[i]->type == PLACE_ENTRY) p1[i]->initial_marking = p1[i]->current_marking = std::string("{dot}");
        EXPECT_EQ(place_text(p1[i]), place_text(p2[i]));
    }
    std::vector<MTransition*> t1 = transitions(n), t2 = transitions(back);
    ASSERT_EQ(t1.size(), t2.size());
    for (std::size_t i = 0; i < t1.size(); ++i) {
        EXPECT_EQ(Canonical(t1[i]).text, Canonical(t2[i]).text);
        EXPECT_TRUE(trans_equal(t1[i], t2[i]));
        restricted |= !t1[i]->restrictions.empty();
    }
    EXPECT_TRUE(restricted);
    FreeNet(&back);
    FreeNet(&n);
    std::remove(net_file_name.c_str());
    rmdir(dir);
}

}  // namespace
}  // namespace algebra_test
