// #place, #tester, #verify and the statement text reader.
#include "statements.h"

#include <algorithm>

#include "diag.h"
#include "net.h"
#include "parser.h"
#include "preproc.h"

namespace tulc {

namespace {

const char* ClauseWord(Clause c) {
    switch (c) {
    case Clause::kMk: return "mk";
    case Clause::kLo: return "lo";
    case Clause::kHi: return "hi";
    case Clause::kReject: return "reject";
    case Clause::kDeadlock: return "deadlock";
    case Clause::kLivelock: return "livelock";
    case Clause::kInfinite: return "infinite";
    }
    return "";
}

std::string Q(const std::string& s) { return "\"" + s + "\""; }

// Limit tuples of a marking: per arity above 0 the field-wise maximum (lo)
// or minimum (hi) over the tuples of that arity.
std::vector<Tuple> LimitTuples(const Marking& m, bool low) {
    std::vector<Tuple> out;
    for (const auto& e : m.Entries()) {
        if (e.tuple.empty()) continue;
        if (out.empty() || out.back().size() != e.tuple.size()) {
            out.push_back(e.tuple);
            continue;
        }
        Tuple& t = out.back();
        for (std::size_t i = 0; i < t.size(); ++i) t[i] = low ? std::max(t[i], e.tuple[i]) : std::min(t[i], e.tuple[i]);
    }
    return out;
}

// The value of a tester that passes the limits of the tester place.
bool TesterValueInLimits(const PLACE* testerPlace, const std::string& name, std::uint32_t v) {
    if (!testerPlace) return true;
    if (!testerPlace->low.empty() && testerPlace->low.front().size() == 1 && v < testerPlace->low.front()[0]) {
        ReportError("tester " + name + ": " + std::to_string(v) + " is below low limit " +
                    std::to_string(testerPlace->low.front()[0]));
        return false;
    }
    if (!testerPlace->high.empty() && testerPlace->high.front().size() == 1 && v > testerPlace->high.front()[0]) {
        ReportError("tester " + name + ": " + std::to_string(v) + " is above high limit " +
                    std::to_string(testerPlace->high.front()[0]));
        return false;
    }
    return true;
}

bool UnaryCountOne(const Marking& m) {
    const auto& e = m.Entries();
    return e.size() == 1 && e[0].tuple.size() == 1 && e[0].count == 1;
}

}  // namespace

int ReadStatementText(Marking* marking, const std::string& owner, Clause clause, bool ownerIsTester,
                      const std::vector<Token>* tokens, std::uint32_t* integer) {
    std::vector<Token> collected;
    if (!marking) {
        if (!tokens || tokens->empty()) {
            ReportError("Expected integer valued expression, got nothing");
            return 3;
        }
    } else if (!tokens) {
        const std::string expectation = std::string("end \")\" of ") + ClauseWord(clause) + " of " +
                                        (ownerIsTester ? "tester " + Q(owner) : "place " + owner);
        Token stop;
        if (!CollectTokens(collected, {TK_CLOSE_PAREN}, true, false, &stop)) ExpectationReport(expectation, std::nullopt);
        if (stop.kind == TK_NEWLINE) {
            ExpectationReport(expectation, stop);
            return 1;
        }
        tokens = &collected;
    }
    ParserReset();
    ForFoldAtoms() = false;
    if (marking && tokens->empty()) {
        *marking = Marking();
        return 0;
    }
    std::vector<std::string> pieces;
    pieces.reserve(tokens->size());
    for (const Token& t : *tokens) pieces.push_back(t.text);
    collected.clear();
    collected.shrink_to_fit();
    if (marking)
        ParseText(nullptr, nullptr, marking, pieces);
    else
        ParseText(nullptr, integer, nullptr, pieces);
    return ParseErrorState();
}

void PlaceStatement() {
    auto& net = Net();
    auto name = NextNonWhite();
    if (!name || name->kind != TK_NAME) {
        ExpectationReport("name after \"#place\"", name);
        DropRestOfLine();
        return;
    }
    const std::string& p = name->text;
    auto fail = [] { DropRestOfLine(); };
    if (net.FindPlace(p)) {
        ReportError("Place " + p + " redefined");
        return fail();
    }
    if (p == "t_e_s_t_e_r" && net.hasVerify) {
        ReportError("Place t_e_s_t_e_r is possible\nonly when there is no #verify");
        return fail();
    }
    const bool letMode = net.settings.letMode;
    bool hasMk = false, hasLo = false, hasHi = false;
    Marking initial;
    std::vector<Tuple> low, high;
    for (;;) {
        auto t = NextNonWhite();
        if (!t) break;
        if (t->kind == TK_NEWLINE) {
            unget_token(*t);
            break;
        }
        const std::string word = t->kind == TK_NAME ? t->text : std::string();
        if (word == "mk" || word == "lo" || word == "hi") {
            if (word != "mk" && letMode) {
                ReportError(word + " defined in place " + p + "\nIf you want a limit in a place, run " +
                            net.settings.invocationName + " without the -R option");
                return fail();
            }
            bool& seen = word == "mk" ? hasMk : word == "lo" ? hasLo : hasHi;
            if (seen) {
                ReportError(word + " redefined in place " + p);
                return fail();
            }
            seen = true;
            auto open = NextNonWhite();
            if (!open || open->kind != TK_OPEN_PAREN) {
                ExpectationReport("\"(\" after \"" + word + "\" in place " + p, open);
                return fail();
            }
            Marking m;
            Clause c = word == "mk" ? Clause::kMk : word == "lo" ? Clause::kLo : Clause::kHi;
            if (ReadStatementText(&m, p, c, false, nullptr, nullptr) != 0) return fail();
            if (word == "mk")
                initial = std::move(m);
            else
                (word == "lo" ? low : high) = LimitTuples(m, word == "lo");
            continue;
        }
        ExpectationReport("mk" + std::string(letMode ? "" : ", lo, or hi") + " in place " + p, t);
        return fail();
    }
    bool failed = false;
    const bool isTesterPlace = net.testerName && *net.testerName == p;
    if (isTesterPlace && !UnaryCountOne(initial)) {
        ReportError("place " + p + ": tester must have exactly");
        ReportError("one unary tuple in the initial marking");
        failed = true;
    }
    for (const Tuple& lo : low) {
        const Tuple* hi = nullptr;
        for (const Tuple& h : high)
            if (h.size() == lo.size()) hi = &h;
        if (!hi) continue;
        for (std::size_t i = 0; i < lo.size(); ++i)
            if ((*hi)[i] < lo[i]) {
                ReportError("Place " + p + ", contradictory limits");
                ErrText("low limit:\n" + TupleText(lo) + "high limit:\n" + TupleText(*hi));
                failed = true;
                break;
            }
    }
    for (const auto& e : initial.Entries()) {
        for (bool isLow : {true, false}) {
            const std::vector<Tuple>& limits = isLow ? low : high;
            for (const Tuple& l : limits) {
                if (l.size() != e.tuple.size()) continue;
                for (std::size_t i = 0; i < l.size(); ++i)
                    if (isLow ? e.tuple[i] < l[i] : e.tuple[i] > l[i]) {
                        ReportError("place " + p + ": impossible initial marking");
                        ErrText(TupleText(e.tuple) + (isLow ? "low limit:\n" : "high limit:\n") + TupleText(l));
                        failed = true;
                        break;
                    }
            }
        }
    }
    std::int32_t arity = -1;
    if (net.settings.singleArity) {
        std::vector<std::size_t> arities;
        for (const Tuple& t : low) arities.push_back(t.size());
        for (const Tuple& t : high) arities.push_back(t.size());
        for (const auto& e : initial.Entries()) arities.push_back(e.tuple.size());
        for (std::size_t a : arities)
            if (a != arities.front()) {
                ReportError("Varying arity in " + p + " (" + std::to_string(arities.front()) + " and " +
                            std::to_string(a) + ")\nIf you want several arities in a place, run " +
                            net.settings.invocationName + " without the -a option");
                failed = true;
                break;
            }
        if (!arities.empty()) arity = static_cast<std::int32_t>(arities.front());
    } else if (!initial.Empty()) {
        arity = static_cast<std::int32_t>(initial.Entries().front().tuple.size());
    }
    if (failed) return fail();
    auto place = PlaceCons(p, std::move(low), std::move(high), std::move(initial));
    place->arity = arity;
    net.placeIndex[p] = static_cast<std::uint32_t>(net.places.size());
    if (isTesterPlace) net.testerPlace = place.get();
    net.places.push_back(std::move(place));
}

void TesterStatement() {
    auto& net = Net();
    auto name = NextNonWhite();
    if (!name || name->kind != TK_NAME) {
        ExpectationReport("name after \"#tester\"", name);
        DropRestOfLine();
        return;
    }
    const std::string& n = name->text;
    auto fail = [&] {
        DropRestOfLine();
        if (!net.testerName) net.testerValues.clear();
    };
    if (net.testerName) {
        ReportError("#tester is not allowed more than once");
        return fail();
    }
    if (net.hasVerify) {
        ReportError("#tester is possible\nonly when there is no #verify");
        return fail();
    }
    PLACE* place = net.FindPlace(n);
    if (place && !UnaryCountOne(place->initial)) {
        ReportError("tester " + Q(n) + ": tester must have exactly");
        ReportError("one unary tuple in the initial marking");
        return fail();
    }
    static const struct {
        const char* word;
        Clause clause;
        std::uint32_t bit;
    } clauses[] = {{"reject", Clause::kReject, kReject},
                   {"deadlock", Clause::kDeadlock, kDeadlock},
                   {"livelock", Clause::kLivelock, kLivelock},
                   {"infinite", Clause::kInfinite, kInfinite}};
    bool seen[4] = {false, false, false, false};
    for (;;) {
        auto t = NextNonWhite();
        if (!t) break;
        if (t->kind == TK_NEWLINE) {
            unget_token(*t);
            break;
        }
        int k = -1;
        for (int i = 0; i < 4; ++i)
            if (t->kind == TK_NAME && t->text == clauses[i].word) k = i;
        if (k < 0) {
            ExpectationReport("reject, deadlock, livelock, or infinite\nin tester " + Q(n), t);
            return fail();
        }
        if (seen[k]) {
            ReportError(t->text + " redefined in tester " + Q(n));
            return fail();
        }
        seen[k] = true;
        auto open = NextNonWhite();
        if (!open || open->kind != TK_OPEN_PAREN) {
            ExpectationReport("\"(\" after \"" + t->text + "\" in tester " + Q(n), open);
            return fail();
        }
        Marking m;
        if (ReadStatementText(&m, n, clauses[k].clause, true, nullptr, nullptr) != 0) return fail();
        for (const auto& e : m.Entries())
            if (e.tuple.size() != 1) {
                ReportError("tester " + Q(n) + ": tuples should be unary");
                return fail();
            }
        for (const auto& e : m.Entries()) {
            if (!TesterValueInLimits(place, n, e.tuple[0])) return fail();
            net.testerValues[e.tuple[0]] |= clauses[k].bit;
        }
    }
    net.testerName = n;
    if (place) net.testerPlace = place;
}

void VerifyStatement() {
    auto& net = Net();
    bool failed = false;
    if (net.hasVerify) {
        ReportError("#verify is not allowed more than once");
        failed = true;
    } else if (net.testerName) {
        ReportError("#verify is possible\nonly when there is no tester");
        failed = true;
    } else if (net.FindPlace("t_e_s_t_e_r")) {
        ReportError("#verify is possible\nonly when there is no place t_e_s_t_e_r");
        failed = true;
    } else {
        for (const char* reserved : {"i_n_i_t_i_a_l_i_z_e", "d_u_m_m_y"})
            if (net.transitionByName.count(reserved)) {
                ReportError(std::string("#verify is possible\nonly when there is no transition ") + reserved);
                failed = true;
                break;
            }
    }
    std::vector<Token> tokens;
    Token stop;
    if (!CollectTokens(tokens, {TK_SEMICOLON}, false, false, &stop)) ExpectationReport("\";\" in #verify", std::nullopt);
    if (failed) return;
    bool empty = true;
    for (const Token& t : tokens)
        if (!IsLayout(t)) empty = false;
    if (empty) {
        ReportError("Expected formula in #verify, got nothing");
        return;
    }
    net.verifyText.clear();
    for (const Token& t : tokens) net.verifyText.push_back(t.text);
    ParserReset();
    net.hasVerify = true;
}

}  // namespace tulc
