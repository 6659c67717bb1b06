// The definitions of the reference file across many automata: every state,
// atomic action, automaton and declared variable, channel and stack gets
// its line, with its object number and the source text it quotes.  The
// expected file is written from the generated automata alone, not from
// autocast's tables; flatnet copies the definitions unchanged.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "petri_test.h"

using testsupport::TempDir;

namespace {

const std::string BIN = VOS_BIN_DIR;

testsupport::RunResult run_in(const TempDir& dir, const std::string& command) {
    return testsupport::run("cd " + testsupport::shell_quote(dir.path()) +
                            " && VOSHOME=" + testsupport::shell_quote(VOS_TEMPLATES) + " " + BIN + "/" + command);
}

// One declared identifier as its definition line shows it.
struct Declared {
    std::string name;
    char kind;             // 'V', 'C' or 'S'
    std::string type;      // the value set, after the capacity for C and S
};

// Declarations and their expected definitions: a text with blanks, tabs,
// line breaks and comments between its tokens, several identifiers in one
// list, and every kind of data.
class Declarations {
public:
    Declarations(std::mt19937_64& rng, const std::string& prefix) : rng_(rng) {
        const int n = pick(1, 3);
        for (int i = 0; i < n; ++i) {
            const std::string a = prefix + "v" + std::to_string(i), b = prefix + "w" + std::to_string(i);
            switch (pick(0, 3)) {
            case 0:
                text += "var" + gap() + a + gap() + ":" + gap() + "{0..3}" + gap() + "init" + gap() + "2;" + gap();
                declared.push_back({a, 'V', "{0..3}"});
                break;
            case 1:
                text += "var " + a + "," + gap() + b + " : {0, 2..4};" + gap();
                declared.push_back({a, 'V', "{0,2..4}"});
                declared.push_back({b, 'V', "{0,2..4}"});
                break;
            case 2: {
                const int capacity = pick(0, 2);
                text += "var " + a + " :" + gap() + "chan " + std::to_string(capacity) + " of {0..1};" + gap();
                declared.push_back({a, 'C', "{" + std::to_string(capacity) + "}{0..1}"});
                break;
            }
            default:
                text += "var " + a + " : stack 2 of {1..2}; " + gap();
                declared.push_back({a, 'S', "{2}{1..2}"});
            }
        }
    }
    std::string text;
    std::vector<Declared> declared;

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    std::string gap() {
        static const char* const gaps[] = {" ", "  ", "\t", "\n", " // note\n", "\n\t "};
        return gaps[pick(0, 5)];
    }
    std::mt19937_64& rng_;
};

// The definition lines of one data identifier, numbered from `object`.
std::string definition(std::size_t reference, std::uint32_t object, const Declared& d) {
    return std::to_string(reference) + " \"" + std::to_string(object) + "\"" + d.kind + "\"" + d.type + "\"b\"" +
           d.name + "\"\n";
}

std::string section(const std::string& text, const std::string& from, const std::string& to) {
    const std::size_t a = text.find("\n" + from + "\n");
    const std::size_t b = text.find("\n" + to + "\n", a == std::string::npos ? 0 : a);
    if (a == std::string::npos || b == std::string::npos) return "(no " + from + " section)";
    return text.substr(a + 1, b - a);
}

TEST(AutocastReferences, DefinitionsQuoteTheirSourcesAcrossManyAutomata) {
    std::mt19937_64 rng(7);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    TempDir dir;
    const Declarations globals(rng, "g");
    std::string project = "VOS\nPROJECT_vosPFA\nVAR\n" + globals.text + "\nFA\n";
    std::string want = "VOS\nReferences_PFA_HL\nFORMAT_N2\nDEF\n";
    std::size_t reference = 0;
    std::uint32_t declared = static_cast<std::uint32_t>(globals.declared.size());
    const int automata = 40;
    for (int a = 0; a < automata; ++a) {
        const std::string file = "a" + std::to_string(a) + ".pfa";
        project += file + "\n";
        // Every fourth automaton in the old format: no arc numbers, and its
        // actions all carry the number 1.
        const bool old = a % 4 == 3;
        const Declarations locals(rng, "l" + std::to_string(a));
        std::string text = std::string("VOS\nFiniteAutomaton\n") + (old ? "FORMAT_N\n" : "FORMAT_N2\n") + "PL\n";
        const int states = pick(1, 4);
        std::vector<int> numbers;
        for (int s = 0; s < states; ++s) {
            numbers.push_back(3 * s + pick(1, 3));
            const std::string name = "s" + std::to_string(a) + " " + std::to_string(s);
            text += std::to_string(numbers.back()) + " " + std::to_string(40 * s) + "@40 " + (s ? "2" : "1") + " \"" +
                    name + "\"\n";
            want += std::to_string(++reference) + " \"" + std::to_string(numbers.back()) + "\"Kb\"" + name + "\"\n";
        }
        text += "AR\n";
        const int arcs = pick(1, 4);
        for (int k = 0; k < arcs; ++k) {
            // Labels over one of the automaton's identifiers or a global one,
            // with blanks, tabs and line breaks of their own.
            const std::vector<Declared>& seen = (pick(0, 1) ? locals : globals).declared;
            const Declared& v = seen[pick(0, static_cast<int>(seen.size()) - 1)];
            std::string label;
            switch (v.kind) {
            case 'V': label = pick(0, 1) ? "<" + v.name + "' =\t'" + v.name + " + 1>" : "< " + v.name + " # 3 >"; break;
            case 'C': label = "<" + v.name + "!\n= 1 and true>"; break;
            default: label = "<" + v.name + "? = 2  >"; break;
            }
            const int number = 10 * k + pick(1, 9);
            text += (old ? "" : std::to_string(number) + " ") + std::to_string(numbers[pick(0, states - 1)]) + ">" +
                    std::to_string(numbers[pick(0, states - 1)]) + " 20@" + std::to_string(60 + k) + " 0@0 \"" +
                    label + "\"\n";
            want += std::to_string(++reference) + " \"" + std::to_string(old ? 1 : number) + "\"Ab\"" + label + "\"\n";
        }
        text += "TX\n\"B(PN)2\"\n\"" + locals.text + "\"\n\"note\" 1@1 \"text\"\n";
        std::ofstream(dir.file(file)) << text;
        want += std::to_string(++reference) + " \"" + std::to_string(a + 1) + "\"E\"0\"b\"" + file + "\"\n";
        for (const Declared& d : locals.declared) want += definition(++reference, ++declared, d);
    }
    std::uint32_t object = 0;
    for (const Declared& d : globals.declared) want += definition(++reference, ++object, d);
    std::ofstream(dir.file("t.prj")) << project;

    testsupport::RunResult r = run_in(dir, "autocast t.prj -o t.hl_net -r t.pfa_hl_ref");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string got = testsupport::read_file(dir.file("t.pfa_hl_ref"));
    EXPECT_EQ(got.substr(0, got.find("\nPL\n") + 1), want);
    // Each old-format file was announced.
    std::size_t warnings = 0;
    for (std::size_t at = 0; (at = r.err.find("has old format; references will be bogus.", at)) != std::string::npos; ++at)
        ++warnings;
    EXPECT_EQ(warnings, static_cast<std::size_t>(automata / 4));

    r = run_in(dir, "flatnet t.hl_net");
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string low = testsupport::read_file(dir.file("t.pfa_ll_ref"));
    EXPECT_EQ(section(low, "DEF", "PL"), section(got, "DEF", "PL"));
}

}  // namespace
