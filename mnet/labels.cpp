#include "mnet_labels.h"

#include <cctype>
#include <cstring>
#include <functional>

#include "mnet_commands.h"

namespace mnet {

namespace {
inline bool name_start(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@';
}
inline bool name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@';
}
inline bool space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Length of a macro word "$...$" at i, 0 when there is none.
std::size_t macro_len(const std::string& s, std::size_t i) {
    if (i >= s.size() || s[i] != '$') return 0;
    std::size_t j = i + 1;
    while (j < s.size() && name_char(s[j])) ++j;
    if (j < s.size() && s[j] == '$' && j > i + 1) return j + 1 - i;
    return 0;
}

// Length of a word at i: name characters and macro words, in any order.
// After its first character a word may also hold '!' and '?', so that the
// channel actions of B(PN)2 (c!, c??) and their variables read back, and a
// template may build such names from macros ($NAME$!).
std::size_t word_len(const std::string& s, std::size_t i) {
    std::size_t j = i;
    for (;;) {
        if (std::size_t m = macro_len(s, j)) {
            j += m;
        } else if (j < s.size() &&
                   (j == i ? name_start(s[j]) : name_char(s[j]) || s[j] == '!' || s[j] == '?')) {
            ++j;
        } else {
            return j - i;
        }
    }
}

// Length of a variable: an optional '~', '-' or quote, a word, an optional
// final quote.
std::size_t variable_len(const std::string& s, std::size_t i) {
    std::size_t j = i;
    if (j < s.size() && (s[j] == '~' || s[j] == '-' || s[j] == '\'')) ++j;
    std::size_t n = word_len(s, j);
    if (!n) return 0;
    j += n;
    if (j < s.size() && s[j] == '\'') ++j;
    return j - i;
}

// Length of a label number: "0", or an optional '-', a digit 1-9, digits.
std::size_t number_len(const std::string& s, std::size_t i) {
    std::size_t j = i;
    if (j < s.size() && s[j] == '0') {
        ++j;
    } else {
        if (j < s.size() && s[j] == '-') ++j;
        if (j >= s.size() || s[j] < '1' || s[j] > '9') return 0;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    }
    // A number directly followed by a name character is not a number.
    if (j < s.size() && (name_char(s[j]) || s[j] == '\'')) return 0;
    return j - i;
}

std::size_t keyword_len(const std::string& s, std::size_t i) {
    for (const char* k : {"dot", "tt", "ff"}) {
        std::size_t n = std::strlen(k);
        if (s.compare(i, n, k) == 0 && word_len(s, i) == n && !(i + n < s.size() && s[i + n] == '\'')) return n;
    }
    return 0;
}

std::int32_t number_value(const std::string& text, const char* range_message) {
    long long v = 0;
    std::size_t i = text[0] == '-' ? 1 : 0;
    for (; i < text.size(); ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 100000) break;
    }
    if (text[0] == '-') v = -v;
    if (v < VAL_MIN || v > VAL_MAX) fatal("%s", range_message);
    return static_cast<std::int32_t>(v);
}
}  // namespace

// ---------------------------------------------------------------------------
std::size_t find_comvar(const ComVars& vars, std::uint16_t code, std::uint16_t kind) {
    std::size_t slot = 0;
    while (slot < vars.size() && (vars[slot].var != code || (vars[slot].flags & COMVAR_KIND_MASK) != kind)) ++slot;
    return slot;
}

std::uint16_t add_comvar(const std::string& name, ComVars& vars, MTransition* t, std::uint16_t kind) {
    std::uint16_t code = var_code(name);
    std::size_t slot = kind == COMVAR_PRIVATE ? vars.size() : find_comvar(vars, code, kind);
    if (slot == vars.size()) {
        if (vars.size() >= MAX_COMVARS) fatal("Transition has too many ComVars !");
        vars.push_back(ComVar{code, kind});
        if (t && name.find('$') != std::string::npos) add_command(13, 0, static_cast<std::intptr_t>(slot), 0);
    }
    if (!name.empty() && name[0] == '~') vars[slot].flags |= 1;
    if (!name.empty() && name[0] == '-') vars[slot].flags |= 2;
    return static_cast<std::uint16_t>(slot);
}

std::uint16_t const_code(const std::string& text) {
    if (!text.empty() && text[0] == 'd') return CODE_DOT;
    if (!text.empty() && text[0] == 't') return CODE_TT;
    if (!text.empty() && text[0] == 'f') return CODE_FF;
    return const_to_code(number_value(text, "Constant in arc label out of range !"));
}

// ---------------------------------------------------------------------------
// Action sets.
ActionSet* action_collector = nullptr;

namespace {
enum ATok { A_END, A_NAME, A_CONST, A_VAR, A_LP, A_RP, A_COMMA, A_BAD };
struct Tok {
    int type;
    std::string text;
};

// Whether the whole text is a valid action set; the tokens are collected.
bool scan_actionset(const std::string& s, std::vector<Tok>& toks) {
    std::size_t i = 0;
    auto skip = [&] {
        while (i < s.size() && space(s[i])) ++i;
    };
    skip();
    if (i == s.size()) return true;  // the empty set
    for (;;) {
        // action name
        std::size_t j = i;
        if (j < s.size() && s[j] == '^') ++j;
        std::size_t n = word_len(s, j);
        if (!n) return false;
        j += n;
        std::string word = s.substr(i, j - i);
        bool constant = keyword_len(s, i) == word.size();
        toks.push_back({constant ? A_CONST : A_NAME, word});
        i = j;
        if (i < s.size() && s[i] == '(') {
            toks.push_back({A_LP, "("});
            ++i;
            for (;;) {
                skip();
                std::size_t k = keyword_len(s, i);
                if (k) {
                    toks.push_back({A_CONST, s.substr(i, k)});
                } else if ((k = number_len(s, i))) {
                    toks.push_back({A_CONST, s.substr(i, k)});
                } else if ((k = variable_len(s, i))) {
                    toks.push_back({A_VAR, s.substr(i, k)});
                } else {
                    return false;
                }
                i += k;
                skip();
                if (i < s.size() && s[i] == ',') {
                    toks.push_back({A_COMMA, ","});
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == ')') {
                    toks.push_back({A_RP, ")"});
                    ++i;
                    break;
                }
                return false;
            }
        }
        skip();
        if (i == s.size()) return true;
        if (s[i] != ',') return false;
        toks.push_back({A_COMMA, ","});
        ++i;
        skip();
    }
}
}  // namespace

ActionSet parse_actionset(const std::string& text, MTransition* t) {
    std::vector<Tok> toks;
    if (!scan_actionset(text, toks)) fatal("Syntax-Error in actionset \"%s\" !", text.c_str());
    ActionSet result;
    std::size_t i = 0;
    while (i < toks.size() && toks[i].type == A_NAME) {
        const std::string& name = toks[i].text;
        ActionTerm term;
        term.code = name[0] == '^' ? static_cast<std::uint16_t>(action_code(name.substr(1)) + 1) : action_code(name);
        term.nparams = 0;
        term.mult = 1;
        ++i;
        if (i < toks.size() && toks[i].type == A_LP) {
            ++i;
            while (i < toks.size() && toks[i].type != A_RP) {
                if (toks[i].type == A_CONST || toks[i].type == A_VAR) {
                    if (term.nparams >= MAX_PARAMS)
                        fatal("Too many parameters in actionset \"%s\" !", text.c_str());
                    std::uint16_t code = 0;
                    if (toks[i].type == A_CONST) code = const_code(toks[i].text);
                    else if (t) code = add_comvar(toks[i].text, t->comvars, t);
                    term.params[term.nparams++] = code;
                }
                ++i;
            }
            ++i;  // ")"
        }
        if (name.find('$') != std::string::npos) {
            TemplateCommand& c = add_command(14, 0, 0, 0);
            c.term = term;
            c.a1 = reinterpret_cast<std::intptr_t>(&c.term);
        } else {
            actset_add_term(result, term);
        }
        if (i < toks.size() && toks[i].type == A_COMMA) ++i;
    }
    if (action_collector) actset_union(*action_collector, result);
    return result;
}

// ---------------------------------------------------------------------------
// Arc labels.
namespace {
enum LTok { L_END = 0, L_CONST = 2, L_VAR = 3, L_LP = 4, L_RP = 5, L_MACRO = 6, L_FOREACH = 7, L_SET = 8 };
struct LToken {
    int type;
    std::string text;
};

class ArcLabelParser {
public:
    ArcLabelParser(const std::string& text, MTransition* t) : s_(text), t_(t) {}

    Inscription run() {
        if (!check()) fatal("Syntax-Error in arclabel \"%s\" !", s_.c_str());
        Inscription work;
        pos_ = 0;
        while (pos_ < toks_.size()) {
            InscTerm term{0, 1};
            parse_arc_term(term, true, work);
        }
        return copy_inscription(work, nullptr);
    }

private:
    // Tokenises and checks the whole label: a comma-separated list of terms.
    bool check() {
        std::size_t i = 0;
        int foreach_depth = 0;
        auto skip = [&] {
            while (i < s_.size() && space(s_[i])) ++i;
        };
        // One term at i; tuple elements may not be tuples or FOREACH terms.
        std::function<bool(bool)> term = [&](bool in_tuple) -> bool {
            skip();
            if (i >= s_.size()) return false;
            std::size_t n;
            if (s_.compare(i, 9, "$FOREACH$") == 0) {
                if (in_tuple || ++foreach_depth > 10) return false;
                toks_.push_back({L_FOREACH, "$FOREACH$"});
                i += 9;
                std::size_t colon = s_.find(':', i);
                if (colon == std::string::npos) return false;
                toks_.push_back({L_SET, s_.substr(i, colon - i)});
                i = colon + 1;
                return term(false);
            }
            if ((n = macro_len(s_, i)) && const_macro(s_.substr(i, n)) && variable_len(s_, i) == n) {
                toks_.push_back({L_MACRO, s_.substr(i, n)});
                i += n;
                return true;
            }
            if ((n = keyword_len(s_, i)) || (n = number_len(s_, i))) {
                toks_.push_back({L_CONST, s_.substr(i, n)});
                i += n;
                return true;
            }
            if ((n = variable_len(s_, i))) {
                toks_.push_back({L_VAR, s_.substr(i, n)});
                i += n;
                return true;
            }
            if (s_[i] == '(' && !in_tuple) {
                toks_.push_back({L_LP, "("});
                ++i;
                int count = 0;
                for (;;) {
                    if (!term(true)) return false;
                    ++count;
                    skip();
                    if (i < s_.size() && s_[i] == ',') {
                        ++i;
                        continue;
                    }
                    if (i < s_.size() && s_[i] == ')' && count >= 2) {
                        toks_.push_back({L_RP, ")"});
                        ++i;
                        return true;
                    }
                    return false;
                }
            }
            return false;
        };
        for (;;) {
            if (!term(false)) return false;
            skip();
            if (i == s_.size()) return true;
            if (s_[i] != ',') return false;
            ++i;
        }
    }

    void add_term(Inscription& work, InscTerm term) { inscription_add(work, term.code, term.count); }

    void parse_arc_term(InscTerm term, bool direct, Inscription& work) {
        const LToken& tk = toks_[pos_++];
        switch (tk.type) {
        case L_CONST:
            if (direct) {
                term.code = const_code(tk.text);
                add_term(work, term);
            } else {
                add_command(21, 0, const_code(tk.text), 0);
            }
            return;
        case L_VAR:
            if (direct) {
                term.code = add_comvar(tk.text, t_->comvars, t_);
                add_term(work, term);
            } else {
                TemplateCommand& c = add_command(24, 0, 0, 0);
                c.text = tk.text;
                c.a1 = reinterpret_cast<std::intptr_t>(&c.text);
            }
            return;
        case L_MACRO:
            add_command(21, reinterpret_cast<std::intptr_t>(const_macro(tk.text)), 0, 0);
            return;
        case L_LP: {
            Tuple tuple = parse_tuple(direct);  // a macro element switches direct mode off
            if (direct) {
                term.code = static_cast<std::uint16_t>(TUPLE_BASE + intern_tuple(std::move(tuple)));
                add_term(work, term);
            } else {
                record_tuple(std::move(tuple));
            }
            return;
        }
        case L_FOREACH: {
            TemplateCommand& c43 = add_command(43, 0, 0, 0);
            const std::string set_text = toks_[pos_++].text;
            std::vector<TypeComponent> sets;
            parse_sets(set_text, sets, SEL_FOREACH);
            if (!sets.empty() && sets[0]) {
                c43.set = std::make_unique<ValueSet>(*sets[0]);
                c43.a1 = reinterpret_cast<std::intptr_t>(c43.set.get());
            } else {
                c43.a1 = CMD_CANCELLED;  // a set macro fills it
            }
            std::size_t before = command_count();
            parse_arc_term(term, false, work);
            CommandList body = pop_commands(command_count() - before);
            std::size_t n = body.size();
            TemplateCommand& c23 = add_command(23, 0, static_cast<std::intptr_t>(n), 0);
            c23.sub = std::move(body);
            c23.a1 = reinterpret_cast<std::intptr_t>(&c23.sub);
            return;
        }
        default:
            fatal("Internal Error: Unknown token type !");
        }
    }

    // Elements after "(" up to ")".
    Tuple parse_tuple(bool& direct) {
        Tuple tuple;
        std::vector<TemplateCommand*> element_commands;
        while (pos_ < toks_.size() && toks_[pos_].type != L_RP) {
            const LToken& tk = toks_[pos_++];
            if (tuple.size() >= 4) fatal("Tupel exceeds maximum dimension !");
            if (tk.type == L_CONST) {
                tuple.push_back(const_code(tk.text));
            } else if (tk.type == L_VAR && direct) {
                tuple.push_back(add_comvar(tk.text, t_->comvars, t_));
            } else if (tk.type == L_VAR) {
                TemplateCommand& c = add_command(32, 0, static_cast<std::intptr_t>(tuple.size()), 0);
                c.text = tk.text;
                c.a1 = reinterpret_cast<std::intptr_t>(&c.text);
                element_commands.push_back(&c);
                tuple.push_back(0);
            } else if (tk.type == L_MACRO) {
                TemplateCommand& c = add_command(31, reinterpret_cast<std::intptr_t>(const_macro(tk.text)),
                                                 static_cast<std::intptr_t>(tuple.size()), 0);
                element_commands.push_back(&c);
                tuple.push_back(0);
                direct = false;
            }
        }
        ++pos_;  // ")"
        pending_ = std::move(element_commands);
        return tuple;
    }

    // A tuple outside direct mode is held by a command of kind 22; the
    // element commands of kinds 31 and 32 point at it.
    void record_tuple(Tuple&& tuple) {
        TemplateCommand& c = add_command(22, 0, 0, 0);
        c.tuple = std::make_unique<Tuple>(std::move(tuple));
        c.a1 = reinterpret_cast<std::intptr_t>(c.tuple.get());
        for (TemplateCommand* e : pending_) e->a3 = c.a1;
        pending_.clear();
    }

    const std::string& s_;
    MTransition* t_;
    std::vector<LToken> toks_;
    std::size_t pos_ = 0;
    std::vector<TemplateCommand*> pending_;
};
}  // namespace

Inscription parse_arclabel(const std::string& text, MTransition* t) {
    ArcLabelParser p(text, t);
    return p.run();
}

// ---------------------------------------------------------------------------
// Guard and value-set language.
namespace {
enum GTok {
    G_END, G_OR, G_AND, G_CROSS, G_UNION, G_TOKEN, G_TRUE, G_FALSE, G_PRJ, G_LE, G_GE, G_NUMBER,
    G_SET_MACRO, G_CONST_MACRO, G_FOREACH_MACRO, G_REPLACE_MACRO, G_MARK_MACRO, G_IDENT, G_CHAR
};
struct GToken {
    int type = G_END;
    std::string text;
    std::int32_t value = 0;
    char ch = 0;
};

const char* const set_macros[] = {"$DECL_SET$", "$ID_SET$", "$NEW_IDS$", "$SENDERS2$", "$SENDERS$", "$SIGNALS$"};
const char* const const_macros[] = {"$MAX$", "$CAPACITY$", "$CAPACITPLUSEINS$", "$INIT$", "$INDEX$", "$ELEMENT$", "$BASEID$"};
const char* const mark_macros[] = {"$PAR_PRE$", "$PAR_POST$", "$CALL_PAR$", "$RETURN_PAR$"};
const int max_depth = 1000;

class GuardSetParser {
public:
    GuardSetParser(const std::string& text, int selector, MTransition* t, std::vector<TypeComponent>* sets)
        : s_(text), t_(t), sets_(sets) {
        mode_ = selector == SEL_GUARD ? SEL_GUARD : selector == SEL_RANGE ? SEL_RANGE : SEL_FOREACH;
    }

    void run() {
        advance();
        if (mode_ == SEL_GUARD) {
            full_expr();
            if (foreach_count_ > 0) add_command(53, 0, 0, 0);
        } else if (mode_ == SEL_RANGE) {
            mult_range();
        } else {
            range();
        }
        if (tok_.type != G_END) error("parse error");
    }

private:
    [[noreturn]] void error(const char* message) {
        fatal("%s in Guard/Set while reading \"%s\"", message, tok_.text.c_str());
    }

    // --- scanner
    void advance() {
        tok_ = GToken();
        for (;;) {
            while (i_ < s_.size() && space(s_[i_])) ++i_;
            if (i_ >= s_.size()) return;
            char c = s_[i_];
            if (c == '"' || (c == '$' && !macro_at()) || (c == '~' && !variable_len(s_, i_))) {
                std::putchar(c);
                ++i_;
                continue;
            }
            break;
        }
        char c = s_[i_];
        std::size_t id = ident_len();
        auto take = [&](int type, std::size_t n) {
            tok_.type = type;
            tok_.text = s_.substr(i_, n);
            i_ += n;
        };
        if (c == '$' && id == macro_len(s_, i_)) {
            std::size_t n = id;
            std::string w = s_.substr(i_, n);
            for (auto m : set_macros)
                if (w == m) return take(G_SET_MACRO, n);
            for (auto m : const_macros)
                if (w == m) return take(G_CONST_MACRO, n);
            if (w == "$FOREACH$") return take(G_FOREACH_MACRO, n);
            if (w == "$BODY$") return take(G_REPLACE_MACRO, n);
            for (int k = 0; k < 4; ++k)
                if (w == mark_macros[k]) {
                    take(G_MARK_MACRO, n);
                    tok_.value = k;
                    return;
                }
        }
        if (c == '|') return take(G_OR, 1);
        if (c == '&') return take(G_AND, 1);
        if (c == '<' && i_ + 1 < s_.size() && s_[i_ + 1] == '=') return take(G_LE, 2);
        if (c == '>' && i_ + 1 < s_.size() && s_[i_ + 1] == '=') return take(G_GE, 2);
        if (std::isdigit(static_cast<unsigned char>(c))) {
            std::size_t j = i_;
            long long v = 0;
            while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) {
                if (v < 1000000) v = v * 10 + (s_[j] - '0');
                ++j;
            }
            take(G_NUMBER, j - i_);
            if (v >= VAL_FF) error_range();
            tok_.value = static_cast<std::int32_t>(v);
            return;
        }
        if (id) {
            // Keywords win over an identifier of the same length.
            struct Kw {
                const char* w;
                int type;
            } kws[] = {{"X", G_CROSS}, {"U", G_UNION}, {"dot", G_TOKEN}, {"tt", G_TRUE}, {"ff", G_FALSE}};
            for (auto& k : kws)
                if (id == std::strlen(k.w) && s_.compare(i_, id, k.w) == 0) return take(k.type, id);
            if (c == 'p' && i_ + 2 < s_.size() && s_[i_ + 1] == 'r' &&
                std::isdigit(static_cast<unsigned char>(s_[i_ + 2]))) {
                std::size_t j = i_ + 2;
                while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) ++j;
                if (j - i_ >= id) return take(G_PRJ, 2);
            }
            return take(G_IDENT, id);
        }
        take(G_CHAR, 1);
        tok_.ch = c;
    }

    [[noreturn]] void error_range() { fatal("Constant out of range !"); }

    bool macro_at() const { return macro_len(s_, i_) != 0; }

    std::size_t ident_len() const {
        std::size_t j = i_;
        if (j < s_.size() && (s_[j] == '~' || s_[j] == '-' || s_[j] == '\'')) ++j;
        std::size_t n = word_len(s_, j);
        if (!n) return 0;
        j += n;
        if (j < s_.size() && s_[j] == '\'') ++j;
        return j - i_;
    }

    bool is_char(char c) const { return tok_.type == G_CHAR && tok_.ch == c; }
    void expect_char(char c) {
        if (!is_char(c)) error("parse error");
        advance();
    }

    struct Depth {
        explicit Depth(GuardSetParser& p) : p_(p) {
            if (++p_.depth_ > max_depth) p_.error("parser stack overflow");
        }
        ~Depth() { --p_.depth_; }
        GuardSetParser& p_;
    };

    // --- value sets
    std::vector<TypeComponent>& sets() { return in_foreach_ ? foreach_sets_ : *sets_; }

    int command_mode_offset() const { return mode_ == SEL_RANGE ? 0 : mode_ == SEL_GUARD ? 10 : 40; }

    void guardset_range(bool low_const, std::intptr_t low, bool high_const, std::intptr_t high) {
        auto& list = sets();
        if (low_const && high_const && !recording_template()) {
            if (!list.empty() && list.back()) valueset_add_range(*list.back(), static_cast<std::int32_t>(low),
                                                                 static_cast<std::int32_t>(high));
            return;
        }
        TemplateCommand& c = add_command(static_cast<std::uint16_t>(2 + command_mode_offset()), low, high,
                                         static_cast<std::intptr_t>(list.empty() ? 0 : list.size() - 1));
        c.flags = ((low_const ? 1u : 0u) | (high_const ? 2u : 0u)) << 8 | decl_slot_;
    }

    // const: returns whether it is a plain value (else the macro's address).
    bool constant(std::intptr_t& v) {
        if (tok_.type == G_NUMBER) {
            v = tok_.value;
        } else if (is_char('-')) {
            advance();
            if (tok_.type != G_NUMBER) error("parse error");
            if (tok_.value > -VAL_MIN) error_range();
            v = -tok_.value;
        } else if (tok_.type == G_TRUE) {
            v = VAL_TT;
        } else if (tok_.type == G_FALSE) {
            v = VAL_FF;
        } else if (tok_.type == G_TOKEN) {
            v = VAL_DOT;
        } else if (tok_.type == G_CONST_MACRO) {
            v = reinterpret_cast<std::intptr_t>(const_macro(tok_.text));
            advance();
            return false;
        } else {
            error("parse error");
        }
        advance();
        return true;
    }

    void elements() {
        for (;;) {
            std::intptr_t lo, hi;
            bool lc = constant(lo);
            if (is_char('.')) {
                advance();
                expect_char('.');
                bool hc = constant(hi);
                guardset_range(lc, lo, hc, hi);
            } else {
                guardset_range(lc, lo, lc, lo);
            }
            if (!is_char(',')) return;
            advance();
        }
    }

    void range() {
        auto& list = sets();
        if (is_char('{')) {
            if (list.size() >= 4) fatal("Range exceeds maximum dimension !");
            list.emplace_back(ValueSet());
            advance();
            if (!is_char('}')) elements();  // "{}" is the empty set
            expect_char('}');
        } else if (tok_.type == G_SET_MACRO) {
            if (list.size() >= 4) fatal("Range exceeds maximum dimension !");
            list.emplace_back(std::nullopt);
            add_command(static_cast<std::uint16_t>(1 + command_mode_offset()),
                        reinterpret_cast<std::intptr_t>(set_macro(tok_.text)), decl_slot_,
                        static_cast<std::intptr_t>(list.size() - 1));
            advance();
            while (tok_.type == G_UNION) {
                advance();
                expect_char('{');
                elements();
                expect_char('}');
            }
        } else {
            error("parse error");
        }
    }

    void mult_range() {
        for (;;) {
            range();
            if (tok_.type != G_CROSS) return;
            advance();
        }
    }

    // --- guards
    void full_expr() {
        if (tok_.type == G_REPLACE_MACRO) {
            add_late_command(15, 0, 0, 0);
            advance();
            expr();
            return;
        }
        if (tok_.type == G_MARK_MACRO) {
            add_command(16, 0, tok_.value, 0);
            advance();
            expr();
            return;
        }
        if (tok_.type == G_IDENT && declaration_ahead()) {
            for (;;) {
                definition();
                if (tok_.type != G_AND) break;
                advance();
            }
            expect_char(':');
        }
        expr();
    }

    // Whether the identifier at hand starts a declaration (followed by '{'
    // or a set macro).
    bool declaration_ahead() const {
        std::size_t j = i_;
        while (j < s_.size() && space(s_[j])) ++j;
        if (j < s_.size() && s_[j] == '{') return true;
        std::size_t n = macro_len(s_, j);
        if (!n) return false;
        std::string w = s_.substr(j, n);
        for (auto m : set_macros)
            if (w == m) return true;
        return false;
    }

    void definition() {
        if (tok_.type != G_IDENT) error("parse error");
        if (!t_) error("parse error");
        decl_slot_ = add_comvar(tok_.text, t_->comvars, t_);
        advance();
        sets_->clear();
        mult_range();
        std::size_t n = sets_->size();
        for (std::size_t k = 0; k < n; ++k)
            if ((*sets_)[k])
                restrict_var(t_->restrictions, decl_slot_, n == 1 ? static_cast<std::uint16_t>(NO_COMPONENT) : static_cast<std::uint16_t>(k),
                             *(*sets_)[k]);
        sets_->clear();
        if (n == 1) cancel_commands(decl_slot_);
        decl_slot_ = 0;
    }

    std::uint16_t node(std::uint16_t kind, std::uint16_t l, std::uint16_t r) { return add_node(kind, l, r); }

    std::uint16_t expr() {
        Depth d(*this);
        std::uint16_t l = and_expr();
        while (tok_.type == G_OR) {
            advance();
            std::uint16_t r = and_expr();
            l = node(N_OR, l, r);
        }
        return l;
    }

    std::uint16_t and_expr() {
        std::uint16_t l = cmp_expr();
        while (tok_.type == G_AND) {
            advance();
            std::uint16_t r = cmp_expr();
            l = node(N_AND, l, r);
        }
        return l;
    }

    int cmp_kind() const {
        if (tok_.type == G_LE) return N_LE;
        if (tok_.type == G_GE) return N_GE;
        if (tok_.type != G_CHAR) return 0;
        switch (tok_.ch) {
        case '=': return N_EQ;
        case '#': return N_NE;
        case '<': return N_LT;
        case '>': return N_GT;
        default: return 0;
        }
    }

    std::uint16_t cmp_expr() {
        Depth d(*this);
        std::uint16_t l = add_expr();
        if (int k = cmp_kind()) {
            advance();
            std::uint16_t r = add_expr();
            l = node(static_cast<std::uint16_t>(k), l, r);
            if (cmp_kind()) error("parse error");
        }
        return l;
    }

    std::uint16_t add_expr() {
        std::uint16_t l = mul_expr();
        while (is_char('+') || is_char('-')) {
            std::uint16_t k = is_char('+') ? N_ADD : N_SUB;
            advance();
            std::uint16_t r = mul_expr();
            l = node(k, l, r);
        }
        return l;
    }

    std::uint16_t mul_expr() {
        std::uint16_t l = unary();
        while (is_char('*') || is_char('/') || is_char('%')) {
            std::uint16_t k = is_char('*') ? N_MUL : is_char('/') ? N_DIV : N_MOD;
            advance();
            std::uint16_t r = unary();
            l = node(k, l, r);
        }
        return l;
    }

    std::uint16_t unary() {
        Depth d(*this);
        if (is_char('-')) {
            advance();
            std::uint16_t e = unary();
            return node(N_NEG, e, 0);
        }
        if (is_char('!')) {
            // Negation binds weaker than comparisons and arithmetic.
            advance();
            std::uint16_t e = cmp_expr();
            return node(N_NOT, e, 0);
        }
        return primary();
    }

    std::uint16_t primary() {
        if (is_char('(')) {
            advance();
            std::uint16_t e = expr();
            expect_char(')');
            return node(N_PAREN, e, 0);
        }
        switch (tok_.type) {
        case G_IDENT: {
            std::string name = tok_.text;
            advance();
            return macro_leaf(name, NO_COMPONENT);
        }
        case G_PRJ: {
            advance();
            if (tok_.type != G_NUMBER) error("parse error");
            std::int32_t index = tok_.value;
            advance();
            expect_char('(');
            if (tok_.type != G_IDENT) error("parse error");
            if (index > 3) fatal("Index of projection exceeds maximum dimension !");
            std::string name = tok_.text;
            advance();
            expect_char(')');
            return macro_leaf(name, static_cast<std::uint16_t>(index));
        }
        case G_NUMBER: {
            std::int32_t v = tok_.value;
            advance();
            return node(N_CONST, static_cast<std::uint16_t>(v), 0);
        }
        case G_TRUE: advance(); return node(N_CONST, VAL_TT, 0);
        case G_FALSE: advance(); return node(N_CONST, VAL_FF, 0);
        case G_TOKEN: advance(); return node(N_CONST, VAL_DOT, 0);
        case G_CONST_MACRO: {
            if (!t_) error("parse error");
            std::int16_t* m = const_macro(tok_.text);
            std::uint16_t counter = ++t_->macro_counter;
            std::uint16_t n = node(N_CONST, 0, counter);
            add_command(51, reinterpret_cast<std::intptr_t>(m), counter, n);
            advance();
            return n;
        }
        case G_FOREACH_MACRO: return foreach();
        default: error("parse error");
        }
    }

    std::uint16_t foreach() {
        if (in_foreach_) fatal("Nested FOREACH-Macros are not allowed !");
        TemplateCommand& c43 = add_command(43, 0, 0, 0);
        advance();
        in_foreach_ = true;
        foreach_sets_.clear();
        int saved_mode = mode_;
        mode_ = SEL_FOREACH;
        range();
        expect_char(':');
        if (!foreach_sets_.empty() && foreach_sets_[0]) {
            c43.set = std::make_unique<ValueSet>(*foreach_sets_[0]);
            c43.a1 = reinterpret_cast<std::intptr_t>(c43.set.get());
        } else {
            c43.a1 = CMD_CANCELLED;
        }
        std::size_t commands_before = command_count();
        std::size_t nodes_before = current_nodes->size();
        mode_ = SEL_GUARD;
        expect_char('(');
        std::uint16_t body = expr();
        expect_char(')');
        mode_ = saved_mode;
        in_foreach_ = false;
        CommandList sub = pop_commands(command_count() - commands_before);
        std::size_t nsub = sub.size();
        std::uint16_t number = static_cast<std::uint16_t>(foreach_count_);
        TemplateCommand& c52 = add_command(52, 0, static_cast<std::intptr_t>(nsub), number);
        c52.sub = std::move(sub);
        c52.a1 = reinterpret_cast<std::intptr_t>(&c52.sub);
        c52.flags = static_cast<std::uint32_t>((current_nodes->size() - nodes_before) & 0xffff);
        std::uint16_t n = node(N_FOREACH, body, number);
        if (++foreach_count_ > 10) fatal("Too many FOREACH-macros in a single guard !");
        return n;
    }

    const std::string& s_;
    MTransition* t_;
    std::vector<TypeComponent>* sets_;
    std::vector<TypeComponent> foreach_sets_;
    std::size_t i_ = 0;
    GToken tok_;
    int mode_;
    int depth_ = 0;
    int foreach_count_ = 0;
    bool in_foreach_ = false;
    std::uint16_t decl_slot_ = 0;
};

MTransition* current_transition = nullptr;

bool blank(const std::string& s) {
    for (char c : s)
        if (!space(c)) return false;
    return true;
}
}  // namespace

std::uint16_t macro_leaf(const std::string& name, std::uint16_t component) {
    MTransition* t = current_transition;
    if (!t) fatal("Internal Error: no current transition !");
    if (name.find("$INDEX$") != std::string::npos || name.find("$ELEMENT$") != std::string::npos) {
        std::uint16_t counter = ++t->macro_counter;
        std::uint16_t n = add_node(N_VAR, static_cast<std::uint16_t>(65536 - counter), component);
        TemplateCommand& c = add_command(54, 0, counter, n);
        c.text = name;
        c.a1 = reinterpret_cast<std::intptr_t>(&c.text);
        return n;
    }
    return add_node(N_VAR, add_comvar(name, t->comvars, t), component);
}

Guard parse_guard(const std::string& text, MTransition* t) {
    if (blank(text)) return {};
    MTransition* saved_t = current_transition;
    TermTable* saved_nodes = current_nodes;
    current_transition = t;
    TermTable table = new_term_table();
    table.reserve(100);
    current_nodes = &table;
    std::vector<TypeComponent> sets;
    GuardSetParser p(text, SEL_GUARD, t, &sets);
    p.run();
    current_transition = saved_t;
    current_nodes = saved_nodes;
    if (table.size() == 2 && table[1].kind == N_CONST && table[1].left == VAL_TT) return {};
    if (recording_template() && !current_commands->empty() && current_commands->back()->kind == 53) {
        table.shrink_to_fit();
        return Guard{std::move(table)};
    }
    return normalize_guard(std::move(table), false);
}

void parse_sets(const std::string& text, std::vector<TypeComponent>& result, int selector) {
    result.clear();
    std::string t = blank(text) ? std::string("{dot}") : text;
    GuardSetParser p(t, selector, current_transition, &result);
    p.run();
}

}  // namespace mnet
