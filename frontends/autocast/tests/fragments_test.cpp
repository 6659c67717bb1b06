// The fragment parser: precedences and the syntax errors of the expression
// grammar, declarations with their checks and counter, procedure headings,
// positions that run on from fragment to fragment, and the parser stack.
#include <gtest/gtest.h>

#include <string>

#include "failure.h"
#include "fragments.h"
#include "mnet_base.h"
#include "references.h"

using namespace autocast;

namespace {

class AutocastFragments : public ::testing::Test {
protected:
    void SetUp() override {
        bpn2::init_idents();
        reset_fragments();
        mnet::error_counter = 0;
    }
    void TearDown() override { bpn2::init_idents(); }
};

// The tree as a term: (op left right), identifiers with their access.
std::string show(const bpn2::Node* n) {
    if (!n) return "null";
    switch (n->kind) {
    case mnet::N_CONST: return std::to_string(n->value);
    case mnet::N_VAR: {
        static const char* const access[] = {"", "", "'", "'", "?", "!", "?""?", "!!"};
        const std::string name = n->ident ? n->ident->name : "?";
        return n->value == bpn2::ACC_PRE ? "'" + name : name + access[n->value];
    }
    case mnet::N_NOT: return "(not " + show(n->a) + ")";
    case mnet::N_NEG: return "(neg " + show(n->a) + ")";
    case mnet::N_PAREN: return "[" + show(n->a) + "]";
    default: break;
    }
    static const char* const ops[] = {"and", "or", "", "", "", "", "=", "#", "<", ">", "<=", ">=",
                                      "+", "-", "*", "/", "%"};
    return "(" + std::string(ops[n->kind - mnet::N_AND]) + " " + show(n->a) + " " + show(n->b) + ")";
}

// The expression of a label, or the message that stopped the parse.
std::string label(const std::string& text) {
    try {
        pfa_parse(text + ";");
    } catch (const Failure& f) {
        return f.what();
    }
    const FragmentResult& r = fragment_result();
    if (r.kind != RESULT_EXPRESSION) return "kind " + std::to_string(r.kind);
    return show(r.action->a);
}

TEST_F(AutocastFragments, ExpressionPrecedences) {
    pfa_parse("var a, b, c, x : {0..3}; var ch : chan 2 of {0..1};");
    const std::string parse_error = "error while parsing: parse error\n";
    struct Case {
        const char* label;
        const char* tree;
    } cases[] = {
        {"<a or b and c>", "(or a (and b c))"},
        {"<a and b and c>", "(and a (and b c))"},
        {"<a | b | c>", "(or (or a b) c)"},
        {"<-a*b>", "(* (neg a) b)"},
        {"<a - b - c>", "(- (- a b) c)"},
        {"<a + b * c % 2>", "(+ a (% (* b c) 2))"},
        {"<not a = b>", "(not (= a b))"},
        {"<!a & b>", "(and (not a) b)"},
        {"<!a = b>", "(not (= a b))"},
        {"<- - a>", "(neg (neg a))"},
        {"<x' = 'x + 1>", "(= x' (+ 'x 1))"},
        {"<(a) >= (b)>", "(>= [a] [b])"},
        {"<ch! = 1 & ch?""? | ch!! & ch? = x>", "(or (and (= ch! 1) ch?""?) (and ch!! (= ch? x)))"},
        {"<true & false # x>", "(and 32765 (# 32764 x))"},
        {"<a > b>", "(> a b)"},
        {"<a\n>", "a"},
        {"<a<b=c>", parse_error.c_str()},
        {"<a = b # c>", parse_error.c_str()},
        {"<a >= b <= c>", parse_error.c_str()},
        {"x' = 1", parse_error.c_str()},
        {"<x' = 1> ", parse_error.c_str()},
        {"<(a>", parse_error.c_str()},
        {"<a)>", parse_error.c_str()},
        {"<a b>", parse_error.c_str()},
        {"<>", parse_error.c_str()},
        {"<begin>", parse_error.c_str()},
        {"<x>;<x>", parse_error.c_str()},
        {"var y : {0..1}", "kind 0"},
    };
    for (const Case& c : cases) EXPECT_EQ(label(c.label), c.tree) << c.label;
    EXPECT_EQ(mnet::error_counter, 0);
    // A label with two semicolons is no longer declarations.
    EXPECT_EQ(label("var y : {0..1};"), parse_error);
}

TEST_F(AutocastFragments, SemanticErrorsAreCountedAndTheParseGoesOn) {
    pfa_parse("var x : {0..3}; var c0 : chan 0 of {0..1}; const k = 2;");
    testing::internal::CaptureStderr();
    EXPECT_EQ(label("<u' = x + k & c0?""? & x?>"), "(and (= u' (+ x 2)) (and c0?""? x?))");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(mnet::error_counter, 3) << err;
    EXPECT_NE(err.find("undeclared identifier u"), std::string::npos) << err;
    EXPECT_NE(err.find("illegal use of chan-0-identifier c0"), std::string::npos) << err;
    EXPECT_NE(err.find("incorrect use of identifier x"), std::string::npos) << err;
    // No position prefix: the report's parsing flag stays off.
    EXPECT_EQ(err.find("[line"), std::string::npos) << err;
}

TEST_F(AutocastFragments, SemanticErrorsOfDeclarationsAreCounted) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"var x : {0..1}; const x = 1;", "identifier x already used"},
        {"var x : {0..1}; var x : {0..1};", "multiple declaration of identifier x"},
        {"var x : {0..3} init 5;", "invalid initialization"},
    };
    for (const Case& c : cases) {
        bpn2::init_idents();
        mnet::error_counter = 0;
        testing::internal::CaptureStderr();
        EXPECT_NO_THROW(parse_var_declarations(c.text)) << c.text;
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(mnet::error_counter, 1) << c.text << "\n" << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.text << "\n" << err;
    }
}

TEST_F(AutocastFragments, DeclarationsAndTheirCounter) {
    pfa_parse("var a, b : {0..3} init 1; const k = -10000; var s : stack 3 of {k..2, true};");
    EXPECT_EQ(fragment_result().kind, RESULT_DECLARATIONS);
    bpn2::IdentToken token;
    bpn2::IdentRec* a = bpn2::lookup_ident("a", token);
    bpn2::IdentRec* b = bpn2::lookup_ident("b", token);
    bpn2::IdentRec* s = bpn2::lookup_ident("s", token);
    bpn2::IdentRec* k = bpn2::lookup_ident("k", token);
    EXPECT_EQ(a->kind, bpn2::VARIABLE);
    EXPECT_EQ(a->number, 1);
    EXPECT_EQ(object_number(a), 1);
    EXPECT_EQ(object_number(b), 2);
    EXPECT_EQ(object_number(s), 3);
    EXPECT_EQ(object_number(k), 0);  // constants do not count
    EXPECT_EQ(k->number, -10000);
    EXPECT_EQ(s->kind, bpn2::STACK);
    EXPECT_EQ(s->number, 3);
    EXPECT_EQ(declaration_counter(), 3u);
    // The counter runs on into later fragments.
    parse_var_declarations("var c : {0..1};");
    EXPECT_EQ(object_number(bpn2::lookup_ident("c", token)), 4);
    // Source range of a declared identifier: its token.
    EXPECT_EQ(a->line1, 1u);
    EXPECT_EQ(a->col1, 5u);
    EXPECT_EQ(a->col2, 6u);
}

TEST_F(AutocastFragments, DeclarationErrors) {
    const std::string parse_error = "error while parsing: parse error\n";
    auto outcome = [](const std::string& text) -> std::string {
        try {
            parse_var_declarations(text);
        } catch (const Failure& f) {
            return f.what();
        }
        return "";
    };
    EXPECT_EQ(outcome(""), "");
    EXPECT_EQ(outcome("const c = 1; const c = 2;"), parse_error);
    EXPECT_EQ(outcome("<x>;"), "error while parsing: got expression instead of vardecls\n");
    EXPECT_EQ(outcome("proc p"), "error while parsing: got expression instead of vardecls\n");
    EXPECT_EQ(outcome("var x : [0, 3];"), parse_error);  // no old syntax
    EXPECT_EQ(outcome("var x : {0..3}"), parse_error);
    EXPECT_EQ(outcome("begin var x : {0..3}; end"), parse_error);
    EXPECT_EQ(outcome("VAR y : {0..1} INIT 0; Var z : {0..1};"), parse_error);  // mixed case: an identifier
    EXPECT_EQ(outcome("var x : {1..3} % 2;"), parse_error);
    EXPECT_EQ(outcome("VAR y : {0..1} INIT 0;"), "");
    EXPECT_EQ(outcome("var a : {1} // comment\n; // more"), "");
}

TEST_F(AutocastFragments, ProcedureHeadings) {
    pfa_parse("proc p(val x : {1..3}, ref c : chan 2 of {0..1}, res r : {0}, const k : {true}, ref s : stack 2 of {1})");
    const FragmentResult& r = fragment_result();
    ASSERT_EQ(r.kind, RESULT_PROCEDURE);
    EXPECT_EQ(r.process->name, "p");
    EXPECT_EQ(r.process->kind, bpn2::BLOCK_NAME);
    std::string params;
    for (bpn2::IdentRec* q = r.process->next_param; q; q = q->next_param)
        params += q->name + ":" + std::to_string(q->mode) + ":" + std::to_string(q->kind) + " ";
    EXPECT_EQ(params, "x:1:2 c:4:3 r:3:2 k:2:2 s:4:6 ");

    // The qualification of reference parameters is undone.
    for (bpn2::IdentRec* q = r.process->next_param; q; q = q->next_param) q->name += "@p@q";
    cut_ref_param_names(r.process->next_param);
    params.clear();
    for (bpn2::IdentRec* q = r.process->next_param; q; q = q->next_param) params += q->name + " ";
    EXPECT_EQ(params, "x@p@q c@p r@p@q k@p@q s@p ");

    for (const char* text : {"proc p(x : {1})", "proc p _max_ 3", "proc", "proc p()", "proc p(val c : chan 1 of {0})"}) {
        bpn2::init_idents();
        try {
            pfa_parse(text);
            ADD_FAILURE() << text;
        } catch (const Failure& f) {
            EXPECT_STREQ(f.what(), "error while parsing: parse error\n") << text;
        }
    }
}

TEST_F(AutocastFragments, ConstantsOutOfRangeAreFatal) {
    EXPECT_EXIT(pfa_parse("const k = -10001;"), ::testing::ExitedWithCode(1), "Constant out of range !");
    EXPECT_EXIT(pfa_parse("var x : {0..32764};"), ::testing::ExitedWithCode(1), "Constant out of range !");
}

TEST_F(AutocastFragments, PositionsRunOnAcrossFragments) {
    // "proc p" ends without a line break, so the next fragment goes on in
    // line 1.
    pfa_parse("proc p");
    parse_var_declarations("var x : {0..3};\n");
    pfa_parse("<x' = x>;");
    const bpn2::PosRec* pos = fragment_result().action->pos;
    EXPECT_EQ(pos->kind, 10);
    EXPECT_EQ(pos->line1, 2u);
    EXPECT_EQ(pos->col1, 1u);
    EXPECT_EQ(pos->line2, 2u);
    EXPECT_EQ(pos->col2, 9u);  // one past the closing '>'
    bpn2::IdentToken token;
    const bpn2::IdentRec* x = bpn2::lookup_ident("x", token);
    EXPECT_EQ(x->line1, 1u);
    EXPECT_EQ(x->col1, 11u);
}

TEST_F(AutocastFragments, ParserStackLimit) {
    pfa_parse("var x : {0..1};");
    // The stack holds its bottom, '<', one entry per '(' or prefix, the
    // identifier and a closing ')'; the 10000th entry overflows.
    auto nested = [](int n, const char* prefix) {
        std::string s = "<";
        for (int i = 0; i < n; ++i) s += prefix;
        s += "x";
        if (prefix[0] == '(') s += std::string(n, ')');
        return s + ">";
    };
    // The depth of the parsed tree, counted without recursion.
    auto depth = [](const std::string& text) {
        pfa_parse(text + ";");
        int d = 0;
        for (const bpn2::Node* n = fragment_result().action->a; n; n = n->a) ++d;
        return d;
    };
    const std::string overflow = "error while parsing: parser stack overflow\n";
    EXPECT_EQ(depth(nested(9995, "(")), 9996);
    EXPECT_EQ(label(nested(9996, "(")), overflow);
    EXPECT_EQ(depth(nested(9996, "-")), 9997);
    EXPECT_EQ(label(nested(9997, "-")), overflow);
    EXPECT_EQ(label(nested(20000, "not ")), overflow);
    // Right-associative "and" piles up as well.
    std::string chain = "<x";
    for (int i = 0; i < 5000; ++i) chain += " & x";
    EXPECT_EQ(label(chain + ">"), overflow);
    // Left-associative chains do not.
    chain = "<x";
    for (int i = 0; i < 20000; ++i) chain += " + x";
    EXPECT_EQ(depth(chain + " = x>"), 20002);
}

}  // namespace
