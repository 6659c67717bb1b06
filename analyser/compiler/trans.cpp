// #trans NAME [fd(...)] ... #endtr: the transition record, its arcs,
// variables, gates, comp text and let relation; then the unification of the
// variables and their ranges.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "diag.h"
#include "net.h"
#include "numcode.h"
#include "preproc.h"
#include "statements.h"

namespace tulc {

namespace {

std::string Q(const std::string& s) { return "\"" + s + "\""; }

// Thrown to end a #trans statement as failed before its #endtr.
struct TransFailed {};

class TransParser {
public:
    explicit TransParser(std::unique_ptr<TRANSITION> t) : t_(std::move(t)) {}

    void Header();
    void Body();
    bool Checks();
    std::unique_ptr<TRANSITION> Take() { return std::move(t_); }

private:
    const std::string& Name() const { return t_->name; }
    [[noreturn]] void Fail() { throw TransFailed{}; }
    void Expect(const std::string& expectation, const std::optional<Token>& got) {
        ExpectationReport(expectation, got);
        Fail();
    }

    VARIABLE* Variable(const std::string& name) {
        auto it = vars_.find(name);
        if (it != vars_.end()) return it->second;
        t_->variables.push_back(VarCons(name));
        VARIABLE* v = t_->variables.back().get();
        vars_[name] = v;
        return v;
    }
    // A variable met in the in block (input) or the out block (output unless
    // it is input).
    static void MarkUse(VARIABLE* v, bool inBlock) {
        if (inBlock) {
            v->flags |= VARIABLE::kInput;
            v->flags &= ~VARIABLE::kOutput;
        } else if (!v->Has(VARIABLE::kInput)) {
            v->flags |= VARIABLE::kOutput;
        }
    }
    // Names not followed by "(", "{", "[" or "<." are variable references.
    static bool IsReference(const std::vector<Token>& tokens, std::size_t i) {
        if (tokens[i].kind != TK_NAME) return false;
        for (std::size_t k = i + 1; k < tokens.size(); ++k) {
            if (IsLayout(tokens[k])) continue;
            TokenKind n = tokens[k].kind;
            return n != TK_OPEN_PAREN && n != TK_OPEN_BRACE && n != TK_OPEN_BRACKET && n != TK_TUPLE_OPEN;
        }
        return true;
    }
    TEXTPART Fragments(const std::vector<Token>& tokens, std::uint32_t flag, bool inBlock, bool useBlock) {
        std::vector<TEXTPART> parts;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            if (IsReference(tokens, i)) {
                VARIABLE* v = Variable(tokens[i].text);
                v->flags |= flag;
                if (useBlock) MarkUse(v, inBlock);
                parts.push_back(TextVariable(v));
            } else {
                parts.push_back(TextLiteral(tokens[i].text));
            }
        }
        return TextList(std::move(parts));
    }

    void FdList();
    void ArcBlock(bool inBlock);
    bool Term(bool inBlock, PLACE* place, ARC*& arc, std::vector<MTUPLE>& newTerms);
    void Gate();
    void Comp();
    void Let();

    std::unique_ptr<TRANSITION> t_;
    std::unordered_map<std::string, VARIABLE*> vars_;
    bool hasFd_ = false, hasLet_ = false, hasIn_ = false, hasOut_ = false, hasComp_ = false;
    std::vector<VARIABLE*> letVars_;
};

std::vector<Token> Trimmed(std::vector<Token> tokens) {
    while (!tokens.empty() && IsLayout(tokens.back())) tokens.pop_back();
    std::size_t k = 0;
    while (k < tokens.size() && IsLayout(tokens[k])) ++k;
    tokens.erase(tokens.begin(), tokens.begin() + static_cast<std::ptrdiff_t>(k));
    return tokens;
}

void TransParser::FdList() {
    if (hasFd_) {
        ReportError("Transition " + Name() + ": fd allowed only once");
        Fail();
    }
    hasFd_ = true;
    auto open = NextNonWhite();
    if (!open || open->kind != TK_OPEN_PAREN) Expect("\"(\" after \"fd\" in transition " + Name(), open);
    for (;;) {
        auto v = NextNonWhite();
        if (!v || v->kind != TK_NAME) Expect("variable name in fd list of transition " + Name(), v);
        if (vars_.count(v->text)) {
            ReportError("transition " + Name() + ": duplicate fd variable " + v->text);
        } else {
            Variable(v->text)->flags |= VARIABLE::kFolding;
            ++t_->fdCount;
        }
        auto sep = NextNonWhite();
        if (sep && sep->kind == TK_CLOSE_PAREN) return;
        if (!sep || sep->kind != TK_COMMA) Expect("\",\" or \")\" in fd list of transition " + Name(), sep);
    }
}

void TransParser::Header() {
    for (;;) {
        auto t = NextNonWhite();
        if (!t) ReportFatal("Unexpected end of file");
        if (t->kind == TK_NEWLINE) return;
        if (t->kind == TK_NAME && t->text == "fd") {
            FdList();
            continue;
        }
        Expect("fd in transition " + Name(), t);
    }
}

void TransParser::Body() {
    auto& net = Net();
    const bool letMode = net.settings.letMode;
    for (;;) {
        auto t = NextNonLayout();
        if (!t) ReportFatal("Transition " + Name() + ": unexpected end of file");
        if (t->kind == TK_HASH) {
            std::optional<Token> w;
            do w = get_token();
            while (w && (w->kind == TK_WHITE || w->kind == TK_COMMENT));
            if (w && w->kind == TK_NAME && w->text == "endtr") return;
            Expect("#endtr of transition " + Name(), w);
        }
        const std::string word = t->kind == TK_NAME ? t->text : std::string();
        if (word == "let") {
            if (!letMode) {
                ReportError("Transition " + Name() + ": unexpected \"let\"\nIf you want to use \"let\", run " +
                            net.settings.invocationName + " with the -R option");
                Fail();
            }
            if (hasLet_) {
                ReportError("Transition " + Name() + ": \"let\" allowed only once");
                Fail();
            }
            hasLet_ = true;
            Let();
        } else if (word == "in" || word == "out") {
            bool& seen = word == "in" ? hasIn_ : hasOut_;
            if (seen) {
                ReportError("Transition " + Name() + ": " + Q(word) + " allowed only once");
                Fail();
            }
            seen = true;
            ArcBlock(word == "in");
        } else if (word == "comp") {
            if (hasComp_) {
                ReportError("Transition " + Name() + ": comp allowed only once");
                Fail();
            }
            hasComp_ = true;
            Comp();
        } else if (word == "gate") {
            Gate();
        } else {
            Expect(std::string(letMode ? "let, " : "") + "in, out, gate, comp, or #endtr in transition " + Name(), t);
        }
    }
}

void TransParser::ArcBlock(bool inBlock) {
    auto& net = Net();
    const std::string block = inBlock ? "in" : "out";
    auto open = NextNonLayout();
    if (!open || open->kind != TK_OPEN_BRACE) Expect("\"{\" after \"" + block + "\" in transition " + Name(), open);
    auto& arcs = inBlock ? t_->inArcs : t_->outArcs;
    for (;;) {
        auto pn = NextNonLayout();
        if (pn && pn->kind == TK_CLOSE_BRACE) return;
        if (!pn || pn->kind != TK_NAME)
            Expect("place name in \"" + block + " block\" of transition " + Name(), pn);
        auto colon = NextNonLayout();
        if (!colon || colon->kind != TK_COLON)
            Expect("\":\" after \"" + pn->text + "\" in \"" + block + " block\" of transition " + Name(), colon);
        PLACE* place = net.FindPlace(pn->text);
        if (!place) ReportError("Place " + pn->text + " not defined");
        ARC* arc = nullptr;
        if (place)
            for (auto& a : arcs)
                if (a->place == place) arc = a.get();
        std::vector<MTUPLE> newTerms;
        // Terms separated by "+", up to ";" (or "}" with a warning).
        for (;;) {
            if (!Term(inBlock, place, arc, newTerms)) {
                // The entry is abandoned: skip to its end.
                std::vector<Token> rest;
                Token stop;
                if (!CollectTokens(rest, {TK_SEMICOLON, TK_CLOSE_BRACE}, false, false, &stop))
                    ReportFatal("Transition " + Name() + ": unexpected end of file");
                if (stop.kind == TK_CLOSE_BRACE) unget_token(stop);
                break;
            }
            auto sep = NextNonLayout();
            if (sep && sep->kind == TK_PLUS) continue;
            if (sep && sep->kind == TK_SEMICOLON) break;
            if (sep && sep->kind == TK_CLOSE_BRACE) {
                ReportWarning("Transition " + Name() + ": " + Q(block + " block") + " missing \";\" before end \"}\"");
                unget_token(*sep);
                break;
            }
            Expect("\"+\" or \";\" in \"" + block + " block\" of transition " + Name(), sep);
        }
        if (place && !newTerms.empty()) {
            if (inBlock)
                TransAddIn(*t_, place, std::move(newTerms));
            else
                TransAddOut(*t_, place, std::move(newTerms));
        }
    }
}

// One term [COUNT] <. FIELD, ... .>; false after an error in it.
bool TransParser::Term(bool inBlock, PLACE* place, ARC*& arc, std::vector<MTUPLE>& newTerms) {
    auto& net = Net();
    const std::string block = inBlock ? "in" : "out";
    const std::string where = Q(block + " block") + " of transition " + Name();
    std::vector<Token> count;
    Token stop;
    if (!CollectTokens(count, {TK_TUPLE_OPEN, TK_SEMICOLON, TK_CLOSE_BRACE}, false, false, &stop))
        ExpectationReport("\"<.\" in " + where, std::nullopt);
    if (stop.kind != TK_TUPLE_OPEN) {
        ReportError("Expected \"<.\" in " + where + ",\ngot " + Q(stop.text));
        unget_token(stop);
        return false;
    }
    MTUPLE term;
    count = Trimmed(std::move(count));
    bool hasName = false;
    for (const Token& c : count) hasName = hasName || c.kind == TK_NAME;
    if (count.empty()) {
        term.count = 1;
    } else if (!hasName) {
        std::uint32_t value = 0;
        if (ReadStatementText(nullptr, Name(), Clause::kMk, false, &count, &value) != 0) return false;
        term.count = value;
    } else {
        term.multiplicity = std::make_unique<TEXTPART>(Fragments(count, VARIABLE::kCounting, inBlock, true));
    }
    std::vector<Token> tuple;
    if (!CollectTokens(tuple, {TK_TUPLE_CLOSE, TK_SEMICOLON, TK_CLOSE_BRACE}, false, false, &stop))
        ExpectationReport("\".>\" in " + where, std::nullopt);
    if (stop.kind != TK_TUPLE_CLOSE) {
        ReportError("Expected \".>\" in " + where + ",\ngot " + Q(stop.text));
        unget_token(stop);
        return false;
    }
    // Fields: split at the commas outside brackets.
    std::vector<std::vector<Token>> fields;
    if (!Trimmed(tuple).empty()) {
        fields.emplace_back();
        int level = 0;
        for (Token& tok : tuple) {
            switch (tok.kind) {
            case TK_OPEN_BRACE:
            case TK_OPEN_BRACKET:
            case TK_OPEN_PAREN:
            case TK_TUPLE_OPEN: ++level; break;
            case TK_CLOSE_BRACE:
            case TK_CLOSE_BRACKET:
            case TK_CLOSE_PAREN:
            case TK_TUPLE_CLOSE: --level; break;
            default: break;
            }
            if (tok.kind == TK_COMMA && level == 0) {
                fields.emplace_back();
                continue;
            }
            fields.back().push_back(std::move(tok));
        }
    }
    const std::string fromTo = inBlock ? "from" : "to";
    const std::string placeName = place ? place->name : std::string();
    term.arity = static_cast<std::uint32_t>(fields.size());
    for (auto& f : fields) {
        f = Trimmed(std::move(f));
        if (f.empty()) {
            ReportError(Name() + ": an empty field in a nonempty tuple\n" + fromTo + " " + placeName);
            return false;
        }
        for (const Token& tok : f)
            if (tok.kind == TK_RANGE) {
                ReportError(Name() + ": \"..\" on an arc " + fromTo + " " + placeName + "\nis completely meaningless");
                return false;
            }
        if (f.size() == 1 && IsReference(f, 0)) {
            VARIABLE* v = Variable(f[0].text);
            MarkUse(v, inBlock);
            term.fields.push_back(TextVariable(v));
        } else {
            term.fields.push_back(Fragments(f, 0, inBlock, true));
        }
    }
    if (!place) return true;  // terms of an unknown place are read and dropped
    if (place->arity < 0) {
        place->arity = static_cast<std::int32_t>(term.arity);
    } else if (net.settings.singleArity && static_cast<std::uint32_t>(place->arity) != term.arity) {
        ReportError("Varying arity in " + place->name + " (" + std::to_string(place->arity) + " and " +
                    std::to_string(term.arity) + ")\nIf you want several arities in a place, run " +
                    net.settings.invocationName + " without the -a option");
        return true;
    }
    if (!term.multiplicity && term.count == 0) {
        ReportWarning("Transition " + Name() + ": a term of count 0 " + fromTo + " " + place->name + " is dropped");
        return true;
    }
    if (!term.multiplicity && term.arity == 0) {
        // Merged with the arc's constant term of arity 0, if there is one.
        auto merge = [&](std::vector<MTUPLE>& terms) {
            for (auto& other : terms)
                if (!other.multiplicity && other.arity == 0) {
                    std::uint64_t sum = std::uint64_t(other.count) + term.count;
                    if (sum > 0xFFFFFFFFull) {
                        ReportError("Transition " + Name() + ": count overflow " + fromTo + " " + place->name +
                                    " (more than 4294967295)");
                        return true;
                    }
                    other.count = static_cast<std::uint32_t>(sum);
                    return true;
                }
            return false;
        };
        if ((arc && merge(arc->tuples)) || merge(newTerms)) return true;
    }
    if (arc)
        arc->tuples.push_back(std::move(term));
    else
        newTerms.push_back(std::move(term));
    return true;
}

void TransParser::Gate() {
    std::vector<Token> tokens;
    Token stop;
    if (!CollectTokens(tokens, {TK_SEMICOLON}, false, false, &stop))
        ExpectationReport("end \";\" of a gate of transition " + Name(), std::nullopt);
    t_->gates.push_back(Fragments(tokens, VARIABLE::kGate, false, false));
}

void TransParser::Comp() {
    auto open = NextNonLayout();
    if (!open || open->kind != TK_OPEN_BRACE) Expect("\"{\" after \"comp\" in transition " + Name(), open);
    std::vector<Token> tokens;
    Token stop;
    if (!CollectTokens(tokens, {TK_CLOSE_BRACE}, false, true, &stop))
        ExpectationReport("end \"}\" of comp block of transition " + Name(), std::nullopt);
    t_->comp.emplace();
    for (const Token& tok : tokens) t_->comp->push_back(tok.text);
}

void TransParser::Let() {
    std::vector<Token> head;
    Token stop;
    if (!CollectTokens(head, {TK_LESS_EQUAL}, false, false, &stop))
        ExpectationReport("\"<=\" in \"let\" of transition " + Name(), std::nullopt);
    std::size_t i = 0;
    auto next = [&]() -> std::optional<Token> {
        while (i < head.size() && IsLayout(head[i])) ++i;
        if (i == head.size()) return Token{"<=", TK_LESS_EQUAL, 0};
        return head[i++];
    };
    auto t = next();
    if (t->kind != TK_TUPLE_OPEN) Expect("\"<.\" after \"let\" in transition " + Name(), t);
    for (;;) {
        auto v = next();
        if (v->kind != TK_NAME) Expect("variable name in \"let\" of transition " + Name(), v);
        VARIABLE* var = Variable(v->text);
        if (std::find(letVars_.begin(), letVars_.end(), var) != letVars_.end()) {
            ReportError("transition " + Name() + ": duplicate \"let\" variable " + v->text);
        } else {
            var->flags |= VARIABLE::kLet;
            var->low = 0xFFFFFFFFu;
            var->high = 0;
            letVars_.push_back(var);
        }
        auto sep = next();
        if (sep->kind == TK_TUPLE_CLOSE) break;
        if (sep->kind != TK_COMMA)
            Expect("\",\" or \".>\" after \"" + v->text + "\" in \"let\" of transition " + Name(), sep);
    }
    auto rest = next();
    if (rest->kind != TK_LESS_EQUAL) Expect("\"<=\" after the first \".>\" in \"let\" of transition " + Name(), rest);
    std::vector<Token> body;
    if (!CollectTokens(body, {TK_SEMICOLON}, false, false, &stop))
        ExpectationReport("\";\" in \"let\" of transition " + Name(), std::nullopt);
    for (const Token& b : body)
        if (b.kind == TK_NAME && b.text != "card" && b.text != "empty" && b.text != "field") {
            ReportError("Inappropriate " + Q(b.text) + " after the first \"<=\"\nin \"let\" of transition " + Name());
            Fail();
        }
    Marking m;
    if (ReadStatementText(&m, Name(), Clause::kMk, false, &body, nullptr) != 0) Fail();
    if (m.Empty()) {
        ReportError("empty marking after the first \"<=\" in \"let\" of transition " + Name());
        Fail();
    }
    for (const auto& e : m.Entries())
        if (e.tuple.size() != letVars_.size()) {
            ReportError("\"let\" of transition " + Name() + ": the tuple before the first \"<=\" is of arity " +
                        std::to_string(letVars_.size()) + "\nwhereas some later tuple is of arity " +
                        std::to_string(e.tuple.size()));
            Fail();
        }
    for (const auto& e : m.Entries()) {
        for (std::size_t k = 0; k < letVars_.size(); ++k) {
            letVars_[k]->low = std::min(letVars_[k]->low, e.tuple[k]);
            letVars_[k]->high = std::max(letVars_[k]->high, e.tuple[k]);
        }
        // The values in the order of the variable list.
        std::string bytes;
        for (const auto& v : t_->variables) {
            auto at = std::find(letVars_.begin(), letVars_.end(), v.get());
            if (at != letVars_.end()) AppendSigned(bytes, e.tuple[static_cast<std::size_t>(at - letVars_.begin())]);
        }
        t_->letSet->push_back(bytes);
    }
}

// The checks after #endtr; false when the transition is refused.
bool TransParser::Checks() {
    auto& net = Net();
    TRANSITION& t = *t_;
    if (!t.comp) {
        for (const auto& v : t.variables)
            if (v->Has(VARIABLE::kOutput)) {
                ReportError("Transition " + t.name + ": output variable " + *v->name + "\nexists, but there is no comp block");
                return false;
            }
    }
    t.FillAllArcs();
    for (auto& v : t.variables)
        v->flags &= ~(VARIABLE::kBound | VARIABLE::kLimited | VARIABLE::kReported | VARIABLE::kCountBound);
    bool ok = true;
    auto isVar = [](const TEXTPART& f) { return f.IsVariable(); };
    // Unifiable: a bound (or limited, or reported) variable, a text, or a
    // list of unifiable parts.
    std::vector<const TEXTPART*> stack;
    auto unifiable = [&](const TEXTPART& field, VARIABLE** culprit) {
        stack.assign(1, &field);
        while (!stack.empty()) {
            const TEXTPART* p = stack.back();
            stack.pop_back();
            if (p->IsVariable()) {
                if (!(p->var->flags & (VARIABLE::kBound | VARIABLE::kLimited | VARIABLE::kReported))) {
                    *culprit = p->var;
                    return false;
                }
            } else if (p->IsList()) {
                for (const auto& q : p->parts) stack.push_back(&q);
            }
        }
        return true;
    };
    auto checkFields = [&](const MTUPLE& term) {
        for (const auto& f : term.fields) {
            VARIABLE* culprit = nullptr;
            while (!unifiable(f, &culprit)) {
                ReportError("Input variable " + *culprit->name + " is not unifiable");
                culprit->flags |= VARIABLE::kReported;
                ok = false;
            }
        }
    };
    for (auto& arc : t.inArcs)
        for (auto& term : arc->tuples)
            if (!term.multiplicity)
                for (auto& f : term.fields)
                    if (isVar(f)) f.var->flags |= VARIABLE::kBound;
    for (auto& arc : t.inArcs)
        for (auto& term : arc->tuples)
            if (!term.multiplicity) checkFields(term);
    if (!ok) return false;
    auto countVarsBound = [&](const TEXTPART& expr) {
        stack.assign(1, &expr);
        while (!stack.empty()) {
            const TEXTPART* p = stack.back();
            stack.pop_back();
            if (p->IsVariable() && !p->var->Has(VARIABLE::kBound)) return false;
            if (p->IsList())
                for (const auto& q : p->parts) stack.push_back(&q);
        }
        return true;
    };
    for (auto& arc : t.inArcs)
        for (auto& term : arc->tuples) {
            if (!term.multiplicity || !countVarsBound(*term.multiplicity)) continue;
            std::vector<VARIABLE*> marked;
            for (auto& f : term.fields)
                if (isVar(f) && !f.var->Has(VARIABLE::kBound)) {
                    f.var->flags |= VARIABLE::kLimited | VARIABLE::kCountBound;
                    marked.push_back(f.var);
                }
            checkFields(term);
            for (VARIABLE* v : marked) v->flags &= ~VARIABLE::kLimited;
        }
    if (!ok) return false;
    for (auto& arc : t.inArcs)
        for (auto& term : arc->tuples) {
            if (!term.multiplicity) continue;
            for (auto& f : term.fields) {
                if (!isVar(f)) continue;
                VARIABLE* v = f.var;
                if (v->Has(VARIABLE::kCountBound) && !(v->flags & (VARIABLE::kCounting | VARIABLE::kReported))) {
                    v->flags |= VARIABLE::kBound;
                    // Terms are walked once each, so a repetition can only
                    // be the same term's expression, recorded last.
                    if (v->countExprs.empty() || v->countExprs.back() != term.multiplicity.get())
                        v->countExprs.push_back(term.multiplicity.get());
                }
            }
        }
    for (auto& v : t.variables) {
        if (v->Has(VARIABLE::kReported)) continue;
        const std::string& n = *v->name;
        std::string message;
        if (v->Has(VARIABLE::kInput) && !v->Has(VARIABLE::kBound))
            message = "Input variable " + n + " of " + t.name + " is not unifiable";
        else if (v->Has(VARIABLE::kFolding) && !(v->flags & (VARIABLE::kInput | VARIABLE::kOutput)))
            message = "Folding variable " + n + " of " + t.name + " is neither an input";
        else if (v->Has(VARIABLE::kGate) && !v->Has(VARIABLE::kInput))
            message = "Gate variable " + n + " of " + t.name + " is not an input variable";
        else if (v->Has(VARIABLE::kLet) && !v->Has(VARIABLE::kInput))
            message = "\"let\" variable " + n + " of " + t.name + " is not an input variable";
        else if (net.settings.letMode && v->Has(VARIABLE::kInput) && !v->Has(VARIABLE::kLet))
            message = "Input variable " + n + " of " + t.name + " is not a \"let\" variable";
        if (message.empty()) continue;
        ReportError(message);
        if (v->Has(VARIABLE::kFolding) && !(v->flags & (VARIABLE::kInput | VARIABLE::kOutput)))
            ReportError("nor output variable");
        v->flags |= VARIABLE::kReported;
        ok = false;
    }
    if (!ok) return false;
    // Ranges from the place limits.
    for (ARC* arc : t.allArcs)
        for (auto& term : arc->tuples) {
            if (term.multiplicity) continue;
            const Tuple* lo = arc->place->LowOf(term.arity);
            const Tuple* hi = arc->place->HighOf(term.arity);
            for (std::size_t k = 0; k < term.fields.size(); ++k) {
                if (!isVar(term.fields[k])) continue;
                VARIABLE* v = term.fields[k].var;
                v->flags |= VARIABLE::kLimited;
                if (lo) v->low = std::max(v->low, (*lo)[k]);
                if (hi) v->high = std::min(v->high, (*hi)[k]);
            }
        }
    std::unordered_set<const VARIABLE*> unlimited;
    for (auto& v : t.variables)
        if (v->Has(VARIABLE::kInput) && !v->Has(VARIABLE::kLimited)) {
            v->low = 0xFFFFFFFFu;
            v->high = 0;
            unlimited.insert(v.get());
        }
    for (ARC* arc : t.allArcs)
        for (auto& term : arc->tuples) {
            if (!term.multiplicity) continue;
            const Tuple* lo = arc->place->LowOf(term.arity);
            const Tuple* hi = arc->place->HighOf(term.arity);
            for (std::size_t k = 0; k < term.fields.size(); ++k) {
                if (!isVar(term.fields[k])) continue;
                VARIABLE* v = term.fields[k].var;
                if (unlimited.count(v) == 0) continue;
                v->low = std::min(v->low, lo ? (*lo)[k] : 0u);
                v->high = std::max(v->high, hi ? (*hi)[k] : 0xFFFFFFFFu);
            }
        }
    for (auto& v : t.variables) {
        if (v->high < v->low) {
            ReportError("Variable " + *v->name + " of " + t.name + " has an empty range");
            ReportError("(low limit " + std::to_string(v->low) + ", high limit " + std::to_string(v->high) + ")");
            ok = false;
        } else if (v->Has(VARIABLE::kInput) && v->high - v->low > net.settings.rangeWidthLimit) {
            ReportError("Input variable " + *v->name + " of " + t.name + " has a too wide range");
            ReportError("((high limit " + std::to_string(v->high) + ") - (low limit " + std::to_string(v->low) +
                        ") > " + std::to_string(net.settings.rangeWidthLimit) + ")");
            ok = false;
        }
    }
    return ok;
}

// Drops tokens up to "#" followed by the name endtr.
void SkipToEndtr() {
    ReportWarning("#trans failed, skipping to next #endtr");
    for (;;) {
        auto t = get_token();
        if (!t) ReportFatal("#trans failed, could not find #endtr when trying to recover");
        if (t->kind != TK_HASH) continue;
        std::optional<Token> w;
        do w = get_token();
        while (w && (w->kind == TK_WHITE || w->kind == TK_COMMENT));
        if (!w) ReportFatal("#trans failed, could not find #endtr when trying to recover");
        if (w->kind == TK_NAME && w->text == "endtr") return;
        unget_token(*w);
    }
}

}  // namespace

void TransStatement() {
    auto& net = Net();
    auto name = NextNonWhite();
    if (!name || name->kind != TK_NAME) {
        ExpectationReport("name after \"#trans\"", name);
        SkipToEndtr();
        return;
    }
    const std::string& n = name->text;
    if (net.transitionByName.count(n)) {
        ReportError("Transition " + n + " redefined");
        SkipToEndtr();
        return;
    }
    if (net.hasVerify && (n == "i_n_i_t_i_a_l_i_z_e" || n == "d_u_m_m_y")) {
        ReportError("Transition " + n + " is possible\nonly when there is no #verify");
        SkipToEndtr();
        return;
    }
    InTransition() = true;
    TransParser parser(TransCons(n, net.settings.letMode));
    try {
        parser.Header();
        parser.Body();
    } catch (const TransFailed&) {
        SkipToEndtr();
        InTransition() = false;
        return;
    }
    InTransition() = false;
    if (!parser.Checks()) return;
    auto t = parser.Take();
    net.transitionByName[n] = t.get();
    net.transitions.push_back(std::move(t));
}

}  // namespace tulc
