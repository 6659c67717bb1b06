// The records that post-processing hands to the code generator, built from
// net descriptions in-process: precedence classes and their kinds, C names
// of variables, tuple labels, variable ranges.
#include <gtest/gtest.h>

#include <cstdio>

#include "diag.h"
#include "net.h"
#include "postproc.h"
#include "ppio.h"
#include "preproc.h"
#include "records.h"
#include "tulc_test_util.h"

namespace {

using tulc::Net;

// Reads a net description as the driver does and post-processes it.
tulc::NETDESC Compile(const std::string& text, bool letMode = false) {
    tulctest::ResetCompiler();
    Net().settings.letMode = letMode;
    testsupport::TempDir dir;
    const std::string file = dir.file("n.net");
    testsupport::write_file(file, text);
    std::FILE* def = std::tmpfile();
    std::FILE* enums = std::tmpfile();
    std::FILE* header = std::tmpfile();
    tulc::PreprocInit(def, enums, header, false);
    tulc::ppio_push_file(file, 0);
    tulc::StatementLoop();
    tulc::ppio_pop_file();
    std::fclose(def);
    std::fclose(enums);
    std::fclose(header);
    return tulc::PostProcess();
}

std::vector<std::uint32_t> Kinds() {
    std::vector<std::uint32_t> k{0};
    for (std::uint32_t c = 1; c < Net().ClassCount(); ++c) k.push_back(tulc::KindOfClass(c));
    return k;
}

const tulc::TRANSITION& Trans(const std::string& name) { return *Net().transitionByName.at(name); }

}  // namespace

TEST(TulcNet, PrecedenceClasses) {
    struct Case {
        const char* prec;
        std::vector<std::uint32_t> kinds;
    };
    const Case cases[] = {
        {"#prec A\n", {0, 0}},
        {"#prec A < B\n", {0, 2, 1}},
        {"#prec B > A\n", {0, 1, 2}},
        {"#prec A < A\n", {0, 4}},                          // its own lower class: inhibitor, and nothing below
        {"#prec A < B < A\n", {0, 2, 2}},                   // plain relations are not closed
        {"#prec A << B\n#prec B << A\n", {0, 4, 4}},         // both their own higher classes
        {"#prec A << B\n#prec B << A\n#prec C < A\n", {0, 3, 3, 2}},
        {"#prec A << B < C\n", {0, 2, 2, 1}},                // C is above A too
        {"#prec A < B\n#prec C >> B\n", {0, 2, 2, 1}},      // C above B and A
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prec);
        tulc::NETDESC d = Compile(c.prec);
        EXPECT_EQ(d.classCount, c.kinds.size());
        EXPECT_EQ(Kinds(), c.kinds);
    }
    // The closure: A << B < C makes C a direct higher class of A.
    Compile("#prec A << B < C\n");
    const auto& a = *Net().classNodes[1];
    ASSERT_EQ(a.higher.size(), 2u);
    EXPECT_EQ(a.higher[0]->number, 2u);
    EXPECT_EQ(a.higher[1]->number, 3u);
    // Class names are replaced by their numbers in C text and comp blocks.
    Compile("#prec A < B\n#place p\n#trans t\nin { p : <.x.> ; }\ncomp { Precedence(B); }\n#endtr\n");
    std::string comp;
    for (const auto& s : *Trans("t").comp) comp += s;
    EXPECT_EQ(comp, " Precedence(2); ");
}

TEST(TulcNet, NamesOfVariablesAndTuples) {
    std::string net = "#place p\n#place q\n#trans t fd(y)\nin { p : <.x.> + <.y.> ; q : <. .> ; }\nout { q :";
    for (int i = 0; i < 13; ++i) net += std::string(i ? " +" : "") + " <.x.>";
    net += " ; p : <.y.> ; }\ncomp { x = y + z; }\n#endtr\n";
    Compile(net);
    const auto& t = Trans("t");
    ASSERT_EQ(t.variables.size(), 2u);
    EXPECT_EQ(t.variables[0]->cname, "/*y*/_v[0]");  // the fd variable comes first
    EXPECT_EQ(t.variables[1]->cname, "/*x*/_v[1]");
    // The comp text names the variables by their C names.
    std::string comp;
    for (const auto& s : *t.comp) comp += s;
    EXPECT_EQ(comp, " /*x*/_v[1] = /*y*/_v[0] + z; ");
    ASSERT_EQ(t.inArcs.size(), 2u);
    EXPECT_EQ(t.inArcs[1]->index, 1u);
    EXPECT_EQ(t.inArcs[0]->tuples[0].label, "/*1st mtuple from p*/");
    EXPECT_EQ(t.inArcs[0]->tuples[1].label, "/*2nd mtuple from p*/");
    EXPECT_EQ(t.inArcs[1]->tuples[0].label, "/*mtuple from q*/");
    const auto& out = t.outArcs[0]->tuples;
    ASSERT_EQ(out.size(), 13u);
    EXPECT_EQ(out[2].label, "/*3th mtuple to q*/");
    EXPECT_EQ(out[10].label, "/*11st mtuple to q*/");
    EXPECT_EQ(out[11].label, "/*12nd mtuple to q*/");
    EXPECT_EQ(out[12].label, "/*13th mtuple to q*/");
    EXPECT_EQ(out[12].position, 12u);
    EXPECT_EQ(t.allArcs.size(), 4u);
    EXPECT_EQ(tulc::FindVariable("x", t), t.variables[1].get());
    EXPECT_EQ(tulc::FindVariable("z", t), nullptr);
}

TEST(TulcNet, RangesAndBindings) {
    // let ranges: a from 1 to 3, b from 2 to 4.
    Compile("#place p\n#trans t\nlet <.a,b.> <= <.1,2.> + <.3,4.> ;\nin { p : <.a,b.> ; }\n#endtr\n", true);
    const auto& t = Trans("t");
    EXPECT_EQ(t.variables[0]->low, 1u);
    EXPECT_EQ(t.variables[0]->high, 3u);
    EXPECT_EQ(t.variables[1]->low, 2u);
    EXPECT_EQ(t.variables[1]->high, 4u);
    // Place limits give ranges; a place without limits the whole range.
    Compile("#place p lo(<.2,0.>) hi(<.9,5.>)\n#place q\n#trans t\nin { p : <.x,y.> ; q : <.z.> ; }\n#endtr\n");
    const auto& u = Trans("t");
    EXPECT_EQ(u.variables[0]->low, 2u);
    EXPECT_EQ(u.variables[0]->high, 9u);
    EXPECT_EQ(u.variables[1]->high, 5u);
    EXPECT_EQ(u.variables[2]->low, 0u);
    EXPECT_EQ(u.variables[2]->high, 0xFFFFFFFFu);
    EXPECT_TRUE(u.variables[2]->Has(tulc::VARIABLE::kLimited | tulc::VARIABLE::kBound | tulc::VARIABLE::kInput));
    // A variable bound through a count expression records it.
    Compile("#place p lo(<.0.>) hi(<.7.>)\n#place q\n#trans t\nin { q : <.n.> ; p : n <.x.> ; }\n#endtr\n");
    const auto& v = Trans("t");
    const tulc::VARIABLE& x = *v.variables[1];
    EXPECT_TRUE(x.Has(tulc::VARIABLE::kBound));
    ASSERT_EQ(x.countExprs.size(), 1u);
    EXPECT_EQ(x.countExprs[0], v.inArcs[1]->tuples[0].multiplicity.get());
    EXPECT_EQ(x.high, 7u);
    // Values with bit 31 set are written in hexadecimal.
    Compile("#place p\n#trans t\nin { p : <.2147483648.> ; }\n#endtr\n");
    EXPECT_EQ(tulc::TextString(Trans("t").inArcs[0]->tuples[0].fields[0]), "0x80000000");
    EXPECT_EQ(tulc::TextLiteral("0123").text, "0123");
    EXPECT_EQ(tulc::TextLiteral("12a").text, "12a");
}

// Terms: entries of one place join one arc; terms of arity 0 without count
// expression merge their counts; constant counts are evaluated, a term of
// count 0 is dropped, a count with a name stays an expression.
TEST(TulcNet, TermsOfArcs) {
    Compile("#place p\n#place q\n#place r\n#trans t\nin { p : <. .> ; q : <.x.> + <.x.> ; p : 2 <. .> + 0 <.7.> ; "
            "p : 1+1 <. .> ; r : <.n.> ; q : n <.y.> ; }\n#endtr\n");
    const auto& t = Trans("t");
    ASSERT_EQ(t.inArcs.size(), 3u);
    const auto& p = t.inArcs[0]->tuples;
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].arity, 0u);
    EXPECT_EQ(p[0].count, 5u);
    EXPECT_FALSE(p[0].multiplicity);
    const auto& q = t.inArcs[1]->tuples;
    ASSERT_EQ(q.size(), 3u);
    EXPECT_EQ(q[0].count, 1u);
    EXPECT_EQ(q[1].count, 1u);
    ASSERT_TRUE(q[2].multiplicity);
    EXPECT_EQ(tulc::TextString(*q[2].multiplicity), "/*n*/_v[1]");
    // A variable bound through count expressions records each expression
    // once, also when it stands twice in one term.
    Compile("#place p\n#place q\n#trans t\nin { q : <.n.> ; p : n <.x,x.> + n <.x.> ; }\n#endtr\n");
    const auto& u = Trans("t");
    const tulc::VARIABLE& x = *u.variables[1];
    ASSERT_EQ(x.countExprs.size(), 2u);
    EXPECT_EQ(x.countExprs[0], u.inArcs[1]->tuples[0].multiplicity.get());
    EXPECT_EQ(x.countExprs[1], u.inArcs[1]->tuples[1].multiplicity.get());
}

// #enum values in statement texts: decimal where the compiler evaluates
// them, and as hexadecimal C literals in comp blocks and gates.
TEST(TulcNet, EnumerationValuesInStatements) {
    Compile("#enum RED, GREEN\n#place p mk(<.RED.> + <.GREEN - 1.>)\n#trans t\nin { p : <.x.> ; }\n"
            "gate x == GREEN;\ncomp { x = RED; }\n#endtr\n");
    const auto& entries = Net().places[0]->initial.Entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].tuple, (tulc::Tuple{0xFFFFFFFDu}));
    EXPECT_EQ(entries[1].tuple, (tulc::Tuple{0xFFFFFFFFu}));
    const auto& t = Trans("t");
    std::string comp;
    for (const auto& s : *t.comp) comp += s;
    EXPECT_EQ(comp, " /*x*/_v[0] = 0xffffffff; ");
    ASSERT_EQ(t.gates.size(), 1u);
    EXPECT_NE(tulc::TextString(t.gates[0]).find("== 0xfffffffe"), std::string::npos) << tulc::TextString(t.gates[0]);
}
