// The code generator: header, global definitions, the instance functions
// (_I, _E, _D), the successor functions (_F, _A, _Followers), the
// precedence tests, _CompInst, _CompPrec and _BuchiOK, spread over numbered
// source files, and the build script's lines.
#include "gen.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "diag.h"
#include "genexpr.h"
#include "outfile.h"
#include "net.h"
#include "records.h"

namespace tulc {

namespace {

using std::string;

constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

string N(std::uint32_t v) { return ULongText(v); }
string N(std::size_t v) { return ULongText(static_cast<std::uint32_t>(v)); }

// ---- the output: current stream, line count, file switching ----

class Output {
public:
    Output(std::FILE* header, string headerName, string prefix)
        : stream_(header), name_(std::move(headerName)), prefix_(std::move(prefix)) {}

    // Text whose line ends count towards the file switch.
    void Put(const string& text) {
        Raw(text);
        lines_ += static_cast<unsigned>(std::count(text.begin(), text.end(), '\n'));
    }
    // Text that is not counted (compiled expressions, comp block text).
    void Raw(const string& text) {
        if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream_);
    }

    void NextFile() {
        if (files_ > 0 && lines_ <= kGenFileLines) return;
        Close();
        name_ = prefix_ + Format("_%07lx.c", static_cast<unsigned long>(files_));
        errno = 0;
        stream_ = outfile::open(name_, "w");
        if (!stream_) ReportFatal("$Cannot open empty file " + name_ + " for writing");
        ++files_;
        lines_ = 0;
        Put("#include \"_.h\"\n");
        Put("\n");
    }

    void Close() {
        if (!stream_) return;
        const bool failed = std::ferror(stream_) != 0;
        errno = 0;
        if ((std::fclose(stream_) != 0) | failed) {
            stream_ = nullptr;
            ReportFatal("$Cannot write file " + name_);
        }
        stream_ = nullptr;
    }

    void Script() {
        Close();
        const string name = prefix_ + "_.sh";
        errno = 0;
        std::FILE* sh = outfile::open(name, "a");
        if (!sh) ReportFatal("$Cannot open file " + name + " for appending");
        for (unsigned long i = 0; i < files_; ++i)
            std::fprintf(sh, "${COMPILE} _%07lx.c || exit\n${%s} ${LIBRARY} _%07lx${O} || exit\n${DELETE} _%07lx${O} || exit\n",
                         i, i == 0 ? "LIBFIRST" : "LIBNEXT", i, i);
        const bool failed = std::ferror(sh) != 0;
        errno = 0;
        if ((std::fclose(sh) != 0) | failed) ReportFatal("$Cannot write file " + name);
    }

private:
    std::FILE* stream_;
    string name_, prefix_;
    unsigned lines_ = 0;
    unsigned long files_ = 0;
};

// ---- facts of the net ----

bool IsVar(const TEXTPART& t) { return t.IsVariable(); }

void VarsOf(const TEXTPART& t, std::vector<VARIABLE*>* out) {
    std::vector<const TEXTPART*> stack{&t};
    while (!stack.empty()) {
        const TEXTPART* p = stack.back();
        stack.pop_back();
        if (p->IsVariable()) out->push_back(p->var);
        if (p->IsList())
            for (auto it = p->parts.rbegin(); it != p->parts.rend(); ++it) stack.push_back(&*it);
    }
}

bool NoVars(const TEXTPART& t) {
    std::vector<VARIABLE*> vs;
    VarsOf(t, &vs);
    return vs.empty();
}

void ClearTested(TEXTPART& t) { t.flags &= ~TEXTPART::kTested; }
bool Tested(const TEXTPART& t) { return (t.flags & TEXTPART::kTested) != 0; }
void SetTested(TEXTPART& t) { t.flags |= TEXTPART::kTested; }

string Text(const TEXTPART& t) { return TextString(t); }

// An input term in the search order of _F.
struct Term {
    ARC* arc = nullptr;
    MTUPLE* m = nullptr;
    std::uint32_t a = 0, b = 0;
    std::size_t tIndex = 0;
    bool saves = false;  // not the last of its arc in search order
    std::size_t uIndex = 0;
    bool firstOfArc = false;  // first term of the first group of its arc
    bool groupStart = false;  // first term of its group
    string cursor;    // label + "_t<a>_<b>"
    string macro;     // "_t<a>_<b>"
    string saved;     // "_u<a>_<b>"
};

std::vector<Term> SearchOrder(TRANSITION& t) {
    std::vector<Term> terms;
    std::size_t tIndex = 0, uIndex = 0;
    for (int expr = 0; expr < 2; ++expr)
        for (auto& arc : t.inArcs) {
            bool hasConst = false, hasExpr = false;
            for (auto& m : arc->tuples) (m.multiplicity ? hasExpr : hasConst) = true;
            bool first = true;
            for (auto& m : arc->tuples) {
                if ((m.multiplicity != nullptr) != (expr == 1)) continue;
                Term term;
                term.arc = arc.get();
                term.m = &m;
                term.a = arc->index;
                term.b = m.position;
                term.tIndex = tIndex++;
                term.groupStart = first;
                term.firstOfArc = first && (expr == 0 || !hasConst);
                first = false;
                term.macro = "_t" + N(term.a) + "_" + N(term.b);
                term.saved = "_u" + N(term.a) + "_" + N(term.b);
                term.cursor = m.label + term.macro;
                terms.push_back(term);
            }
        }
    // The last term of each arc in search order saves no position.
    for (std::size_t i = 0; i < terms.size(); ++i) {
        bool later = false;
        for (std::size_t j = i + 1; j < terms.size(); ++j)
            if (terms[j].arc == terms[i].arc) later = true;
        terms[i].saves = later;
        if (later) terms[i].uIndex = uIndex++;
    }
    return terms;
}

std::uint32_t LowBound(const PLACE* p, std::uint32_t arity, std::size_t k) {
    const Tuple* lo = p->LowOf(arity);
    return lo && k < lo->size() ? (*lo)[k] : 0u;
}
std::uint32_t HighBound(const PLACE* p, std::uint32_t arity, std::size_t k) {
    const Tuple* hi = p->HighOf(arity);
    return hi && k < hi->size() ? (*hi)[k] : kAllOnes;
}

string Weight(const MTUPLE& m) { return m.multiplicity ? Text(*m.multiplicity) : N(m.count); }

struct Facts {
    std::size_t T = 0, U = 0, V = 0, W = 0;
    bool hasTrans = false, hasArcs = false, hasOut = false, hasComp = false, compCompared = false;
    bool precTest = false;
};

// ---- the generator ----

class Gen {
public:
    Gen(Output& out, const NETDESC& d) : o_(out), d_(d), C_(d.classCount) {
        letMode_ = Net().settings.letMode;
        hasVerify_ = Net().hasVerify;
        tester_ = d.testerPlace;
        ComputeFacts();
    }

    void Run();

private:
    Output& o_;
    const NETDESC& d_;
    std::uint32_t C_;
    bool letMode_ = false, hasVerify_ = false;
    const PLACE* tester_ = nullptr;
    Facts f_;

    // The transition at hand.
    TRANSITION* t_ = nullptr;
    std::uint32_t n_ = 0;

    void P(const string& s) { o_.Put(s); }

    std::uint32_t PlaceIndex(const PLACE* p) const {
        const auto& ps = *d_.places;
        for (std::size_t i = 0; i < ps.size(); ++i)
            if (ps[i].get() == p) return static_cast<std::uint32_t>(i);
        return 0;
    }
    string PlaceRef(const PLACE* p) const { return "/*" + p->name + "*/" + N(PlaceIndex(p)); }

    bool HasPrecTest(std::uint32_t k) const {
        const auto& nodes = *d_.classNodes;
        const CLASSNODE* c = k < nodes.size() ? nodes[k].get() : nullptr;
        return c && !c->higher.empty() && !(c->flags & (CLASSNODE::kInhibitor | CLASSNODE::kNothing));
    }
    const CLASSNODE* Node(std::uint32_t k) const {
        const auto& nodes = *d_.classNodes;
        return k < nodes.size() ? nodes[k].get() : nullptr;
    }
    std::uint32_t Kind(std::uint32_t k) const { return KindOfClass(k); }

    static bool CompCompared(const TRANSITION& t) {
        for (auto& v : t.variables)
            if (!v->Has(VARIABLE::kInput)) return true;
        return false;
    }
    std::vector<VARIABLE*> LetVars() const {
        std::vector<VARIABLE*> vs;
        for (auto& v : t_->variables)
            if (v->Has(VARIABLE::kLet)) vs.push_back(v.get());
        return vs;
    }
    bool LetFirst(const std::vector<VARIABLE*>& lets) const {
        for (std::size_t i = 0; i < lets.size(); ++i)
            if (t_->variables[i].get() != lets[i]) return false;
        return true;
    }
    std::size_t VarIndex(const VARIABLE* v) const {
        for (std::size_t i = 0; i < t_->variables.size(); ++i)
            if (t_->variables[i].get() == v) return i;
        return 0;
    }

    void ComputeFacts() {
        for (auto& t : *d_.transitions) {
            f_.hasTrans = true;
            std::size_t T = 0, U = 0;
            for (auto& a : t->inArcs) {
                T += a->tuples.size();
                if (!a->tuples.empty()) U += a->tuples.size() - 1;
            }
            f_.T = std::max(f_.T, T);
            f_.U = std::max(f_.U, U);
            f_.V = std::max(f_.V, t->variables.size());
            if (!t->inArcs.empty() || !t->outArcs.empty()) f_.hasArcs = true;
            if (!t->outArcs.empty()) f_.hasOut = true;
            for (ARC* a : t->allArcs)
                for (auto& m : a->tuples) f_.W = std::max<std::size_t>(f_.W, m.arity);
            std::size_t lets = 0;
            for (auto& v : t->variables)
                if (v->Has(VARIABLE::kLet)) ++lets;
            f_.W = std::max(f_.W, lets);
            if (t->comp) {
                f_.hasComp = true;
                if (CompCompared(*t)) f_.compCompared = true;
            }
        }
        for (std::uint32_t k = 1; k < C_; ++k)
            if (HasPrecTest(k)) f_.precTest = true;
    }

    // ---- header and definitions ----
    void Globals(bool ext);

    // ---- guards ----
    string FieldTest(const string& indent, std::uint32_t low, std::uint32_t high, const string& field, const string& exit,
                     bool lowOk, bool highOk) {
        string s;
        if (lowOk && low != 0)
            s += indent + "if (((DOMAIN) " + N(low) + ") > (DOMAIN) (" + field + "))\n" + indent + "    " + exit;
        if (highOk && high != kAllOnes)
            s += indent + "if (((DOMAIN) " + N(high) + ") < (DOMAIN) (" + field + "))\n" + indent + "    " + exit;
        return s;
    }
    // Tests of fields of a term whose selection says which fields and
    // which bounds; wrapped in the weight test when the term has one.
    template <typename Select>
    bool TermTests(const ARC& arc, MTUPLE& m, const string& exit, Select select) {
        string body;
        const bool wrap = m.multiplicity != nullptr;
        const string indent = wrap ? "            " : "    ";
        for (std::size_t k = 0; k < m.fields.size(); ++k) {
            bool lowOk = true, highOk = true;
            const std::uint32_t low = LowBound(arc.place, m.arity, k), high = HighBound(arc.place, m.arity, k);
            if (!select(m.fields[k], low, high, &lowOk, &highOk)) continue;
            body += FieldTest(indent, low, high, Text(m.fields[k]), exit, lowOk, highOk);
        }
        if (body.empty()) return false;
        if (wrap) P("    if (0L != (unsigned long) (" + Text(*m.multiplicity) + "))\n        {\n" + body + "        }\n");
        else P(body);
        return true;
    }

    void BoundChecks(const std::vector<ARC*>& arcs, const string& exit);
    bool LoopChecks(const std::vector<ARC*>& arcs, const string& exit, bool useRequired);
    void CompText(const string& accept);
    string Values() const;
    string ClassArg() const;
    void ArcRecords(bool input);
    void VerifyLoop();
    // Field 0 of the first tuple of the tester place's initial marking.
    std::uint32_t TesterStart() const {
        const auto& e = tester_->initial.Entries();
        return !e.empty() && !e.front().tuple.empty() ? e.front().tuple[0] : 1u;
    }
    std::vector<ARC*> AllArcs() const { return t_->allArcs; }
    void EntryChecks();

    // ---- functions ----
    void FuncA();
    void FuncD();
    void FuncE();
    void FuncI();
    void FuncF();
    void Followers();
    void FuncP(std::uint32_t k);
    void CompInst();
    void CompPrec();
    void BuchiOK();

    std::vector<ARC*> OutArcs() const {
        std::vector<ARC*> v;
        for (auto& a : t_->outArcs) v.push_back(a.get());
        return v;
    }

    // Range of a limited input variable that _F requires (output places)
    // and the one the input places guarantee.
    void Ranges();
    bool useRequired_ = false;
    std::vector<std::uint32_t> reqLow_, reqHigh_;
    std::uint32_t RangeLow(const VARIABLE* v) const {
        return useRequired_ && v->Has(VARIABLE::kInput) && v->Has(VARIABLE::kLimited) ? reqLow_[VarIndex(v)] : v->low;
    }
    std::uint32_t RangeHigh(const VARIABLE* v) const {
        return useRequired_ && v->Has(VARIABLE::kInput) && v->Has(VARIABLE::kLimited) ? reqHigh_[VarIndex(v)] : v->high;
    }
};

void Gen::Globals(bool ext) {
    const string e = ext ? "extern " : "";
    std::uint32_t D = 0;  // the deepest compiled proposition
    if (d_.atoms)
        for (const Formula& f : *d_.atoms)
            if (f && f->atom) D = std::max(D, IntDepth(*f->atom));
    if (ext) {
        for (const char* h : {"absolute.h", "tulm.h", "alloc.h", "dynam.h", "radix.h", "avlset.h", "bdd.h", "fileaux.h", "graph.h",
                              "mark.h", "inst.h", "encode.h", "plainnet.h", "mirror.h"})
            P(h == string("absolute.h") ? "#include <stdio.h>\n#include \"absolute.h\"\n" : "#include \"" + string(h) + "\"\n");
        P("\n");
    }
    if (f_.hasTrans) {
        P(e + "TRN *_trn;\n");
        P(e + "unsigned _visible, _len;\n");
    }
    if (f_.hasArcs) P(e + "MARKING *_marking;\n");
    if (hasVerify_) {
        P(e + "DOMAIN *_y_;\n");
        P(e + "BOOL _someEnb;\n");
        if (D > 0) {
            if (ext)
                P("\ntypedef union\n{\n    DOMAIN d;\n    struct\n    {\n        char *c;\n        MARKING *ma;\n        TUPLE *t;\n"
                  "    } a;\n    struct\n    {\n        MARKING *mb;\n        TUPLE *t0;\n        TUPLE *t1;\n        TUPLE *t2;\n"
                  "    } b;\n} XPRVAL;\n\n");
            P(e + "XPRVAL _xprVal[" + N(D) + "];\n");
        }
        P(e + "TUPLE *_xprTuple;\n");
        P(e + "DOMAIN _xprDom;\n");
        P(e + "MARKING *_xprMk, *_tmpMk;\n");
        P(e + "unsigned _i_;\n");
    }
    if (f_.T > 0) P(e + "MULTUP *_t[" + N(f_.T) + "];\n");
    if (f_.U > 0) P(e + "VOID *_u[" + N(f_.U) + "];\n");
    if (f_.V > 0) P(e + "DOMAIN _v[" + N(f_.V) + "];\n");
    P(e + (f_.hasOut ? "TUPLE *_tuple, *_w;\n" : "TUPLE *_w;\n"));
    if (f_.hasComp) {
        P(e + "LIST *_list;\n");
        if (f_.compCompared) P(e + "VOID *_cursor;\n");
    }
    if (f_.compCompared || C_ != 1) {
        P(e + "DOMAIN *_instance;\n");
        P(e + "PEER *_peer;\n");
    }
    if (f_.precTest) {
        P(e + "PEER *_hpeer;\n");
        P(e + "unsigned _lwidth, _field;\n");
        P(e + "DOMAIN *_hfolding;\n");
    }
    if (C_ != 1) {
        P(e + "LIST *_bundle[" + N(C_) + "];\n");
        P(e + "LIST *_tmpBundle[" + N(C_) + "];\n");
        if (ext) {
            P("#define _CL_INDEPENDENT 0\n#define _CL_MAXIMUM 1\n#define _CL_MEDIUM 2\n#define _CL_INHIBITOR 3\n"
              "#define _CL_NOTHING 4\n");
            P("extern unsigned _kind[" + N(C_) + "];\n");
        } else {
            string kinds = "unsigned _kind[" + N(C_) + "] = {0";
            for (std::uint32_t k = 1; k < C_; ++k) kinds += "," + N(Kind(k));
            P(kinds + "};\n");
        }
        P(e + "unsigned _class;\n");
    }
}

// Bound checks: the marks cleared, then what needs no variable.
void Gen::BoundChecks(const std::vector<ARC*>& arcs, const string& exit) {
    for (auto& v : t_->variables) v->flags &= ~VARIABLE::kBound;
    for (ARC* a : t_->allArcs)
        for (auto& m : a->tuples)
            for (auto& fd : m.fields) ClearTested(fd);
    for (auto& g : t_->gates) ClearTested(g);
    for (auto& g : t_->gates)
        if (NoVars(g)) {
            P("    if (!(" + Text(g) + "))\n        " + exit);
            SetTested(g);
        }
    // Fields without variables are tested as they stand.
    auto constant_field = [](TEXTPART& fd, std::uint32_t, std::uint32_t, bool*, bool*) {
        if (!NoVars(fd)) return false;
        SetTested(fd);
        return true;
    };
    for (ARC* a : arcs) {
        for (auto& m : a->tuples)
            if (m.multiplicity && NoVars(*m.multiplicity)) TermTests(*a, m, exit, constant_field);
        for (auto& m : a->tuples)
            if (!m.multiplicity) TermTests(*a, m, exit, constant_field);
        for (auto& m : a->tuples)
            if (!m.multiplicity)
                for (auto& fd : m.fields)
                    if (IsVar(fd)) SetTested(fd);
    }
}

// Loop checks after a binding point: gates, and output field bounds that
// became decidable.  Returns whether a test was written.
bool Gen::LoopChecks(const std::vector<ARC*>& arcs, const string& exit, bool useRequired) {
    useRequired_ = useRequired;
    bool wrote = false;
    for (auto& g : t_->gates)
        if (!Tested(g) && TextIsConstant(g)) {
            P("    if (!(" + Text(g) + "))\n        " + exit);
            SetTested(g);
            wrote = true;
        }
    if (letMode_) return wrote;
    for (ARC* a : arcs)
        for (auto& m : a->tuples) {
            if (m.multiplicity && !TextIsConstant(*m.multiplicity)) continue;
            wrote |= TermTests(*a, m, exit, [&](TEXTPART& fd, std::uint32_t low, std::uint32_t high, bool* lowOk, bool* highOk) {
                if (Tested(fd) || !TextIsConstant(fd)) return false;
                SetTested(fd);
                if (IsVar(fd) && fd.var->Has(VARIABLE::kLimited)) {
                    *lowOk = RangeLow(fd.var) < low;
                    *highOk = RangeHigh(fd.var) > high;
                }
                return true;
            });
        }
    return wrote;
}

// Entry checks of _A and _D: output variables and the output fields that
// depend on them, the class, and the visibility decided by the tester.
void Gen::EntryChecks() {
    useRequired_ = false;
    const string exit = "return;\n";
    for (auto& v : t_->variables) {
        if (v->Has(VARIABLE::kInput)) v->flags |= VARIABLE::kBound;
        else v->flags &= ~VARIABLE::kBound;
    }
    for (auto& v : t_->variables) {
        if (!v->Has(VARIABLE::kLimited) || v->Has(VARIABLE::kInput)) continue;
        if (v->low != 0) P("    if (" + v->cname + " < (DOMAIN) " + N(v->low) + ")\n        " + exit);
        if (v->high != kAllOnes) P("    if (" + v->cname + " > (DOMAIN) " + N(v->high) + ")\n        " + exit);
    }
    for (auto& a : t_->outArcs)
        for (auto& m : a->tuples) {
            if (!a->place->LowOf(m.arity) && !a->place->HighOf(m.arity)) continue;
            const bool expr = m.multiplicity != nullptr;
            TermTests(*a, m, exit, [&](TEXTPART& fd, std::uint32_t low, std::uint32_t high, bool* lowOk, bool* highOk) {
                if (TextIsConstant(fd)) return false;
                if (!expr) return !IsVar(fd);
                if (IsVar(fd) && fd.var->Has(VARIABLE::kLimited)) {
                    *lowOk = fd.var->low < low;
                    *highOk = fd.var->high > high;
                }
                return true;
            });
        }
    if (C_ != 1) {
        P("    if (_class >= " + N(C_) + ")\n        {\n");
        P("            (void) fprintf(_out, \"\\n\");\n            (void) fflush(_out);\n            (void) fprintf(_err,\n");
        P("                           \"\\nTransition \\\"" + t_->name + "\\\": precedence class %u\\nis meaningless. "
          "Meaningful classes have a number >= 0 and < " + N(C_) + "\\n\",\n");
        P("                           _class);\n            (void) fflush(_err);\n            abort();\n        }\n");
        P("    if (_kind[_class] == _CL_NOTHING)\n        return;\n");
    }
    if (tester_ && !hasVerify_) {
        const ARC* in = nullptr;
        const ARC* out = nullptr;
        for (auto& a : t_->inArcs)
            if (a->place == tester_) in = a.get();
        for (auto& a : t_->outArcs)
            if (a->place == tester_) out = a.get();
        if (!in || in->tuples.empty()) {
            P("    _visible = 0;\n");
        } else if (!in->tuples[0].multiplicity) {
            P("    _visible = 1;\n");
        } else {
            const string iw = Text(*in->tuples[0].multiplicity);
            const string ow = out && !out->tuples.empty() ? Weight(out->tuples[0]) : "0";
            P("    if (((unsigned long) (" + iw + ")) != (unsigned long) (" + ow + "))\n        {\n");
            P("            (void) fprintf(_out, \"\\n\");\n            (void) fflush(_out);\n            (void) fprintf(_err,\n");
            P("                           \"\\nAttempt to change the multiplicity of the tester \\\"" + tester_->name +
              "\\\":\\ninput weight %lu, output weight %lu\\n\",\n");
            P("                           (unsigned long) (" + iw + "),\n");
            P("                           (unsigned long) (" + ow + "));\n");
            P("            (void) fflush(_err);\n            abort();\n        }\n");
            P("    _visible = (unsigned) (0L != (unsigned long) (" + iw + "));\n");
        }
    }
}

// The required and guaranteed ranges of the limited input variables.
void Gen::Ranges() {
    const std::size_t nv = t_->variables.size();
    reqLow_.assign(nv, 0);
    reqHigh_.assign(nv, kAllOnes);
    for (auto& v : t_->variables) {
        v->guaranteedLow = 0;
        v->guaranteedHigh = kAllOnes;
    }
    auto scan = [&](const std::vector<std::unique_ptr<ARC>>& arcs, bool output) {
        for (auto& a : arcs)
            for (auto& m : a->tuples)
                for (std::size_t k = 0; k < m.fields.size(); ++k) {
                    if (!IsVar(m.fields[k])) continue;
                    VARIABLE* v = m.fields[k].var;
                    const std::size_t i = VarIndex(v);
                    const std::uint32_t lo = LowBound(a->place, m.arity, k), hi = HighBound(a->place, m.arity, k);
                    if (m.multiplicity) continue;
                    if (output) {
                        reqLow_[i] = std::max(reqLow_[i], lo);
                        reqHigh_[i] = std::min(reqHigh_[i], hi);
                    } else {
                        v->guaranteedLow = std::max(v->guaranteedLow, lo);
                        v->guaranteedHigh = std::min(v->guaranteedHigh, hi);
                    }
                }
    };
    scan(t_->inArcs, false);
    scan(t_->outArcs, true);
    for (auto& a : t_->outArcs)
        for (auto& m : a->tuples)
            if (m.multiplicity)
                for (auto& fd : m.fields)
                    if (IsVar(fd)) {
                        fd.var->guaranteedLow = 0;
                        fd.var->guaranteedHigh = kAllOnes;
                    }
}

void Gen::CompText(const string& accept) {
    if (C_ != 1) P("#define Precedence(class) (_class = (class))\n");
    if (!tester_) P("#define Visible() (_visible = 1)\n#define Invisible() (_visible = 0)\n");
    P("#define Accept() " + accept + "()\n");
    string text;
    for (const auto& tok : *t_->comp) text += tok;
    o_.Raw("    {" + text);
    P("}\n");
    if (C_ != 1) P("#undef Precedence\n");
    if (!tester_) P("#undef Visible\n#undef Invisible\n");
    P("#undef Accept\n");
}

string Gen::Values() const { return t_->variables.empty() ? " (DOMAIN *) NULL" : " _v"; }
string Gen::ClassArg() const { return C_ == 1 ? " (unsigned) 0," : " _class,"; }

void Gen::FuncA() {
    const string n = N(n_);
    P("FE0(void, _A" + n + ")/*" + t_->name + "*/\n{\n");
    EntryChecks();
    if (hasVerify_) P("    _visible = 1;\n");
    const bool comp = t_->comp.has_value();
    if (comp) {
        if (C_ != 1) P("    _list = _tmpBundle[_class];\n");
        if (!CompCompared(*t_)) {
            P("    if (!LstEmpty(_list))\n        return;\n    LstSet(_list, (VOID *) NULL);\n");
        } else {
            P("    _cursor = NULL;\n    LSTFOR (_list, _peer, PEER)\n        {\n            _instance = PeeGInstance(_peer);\n");
            for (std::size_t i = 0; i < t_->variables.size(); ++i) {
                const VARIABLE* v = t_->variables[i].get();
                if (v->Has(VARIABLE::kInput)) continue;
                P("            if (_instance[" + N(i) + "] > " + v->cname + ")\n                break;\n");
                P("            if (_instance[" + N(i) + "] < " + v->cname +
                  ")\n                {\n                    _cursor = LstGet(_list);\n                    continue;\n                }\n");
            }
            P("            return;\n        }\n    LstSet(_list, _cursor);\n");
        }
    }
    if (C_ != 1) P("    if (_kind[_class] == _CL_INHIBITOR)\n        goto C_O_N_T;\n");
    P("    _folState = StaFrCopy(_state);\n");
    for (auto& a : t_->outArcs) {
        P("    _marking = StaGMarking(_folState, (unsigned) " + PlaceRef(a->place) + ");\n");
        for (auto& m : a->tuples) {
            const string ind = m.multiplicity ? "            " : "    ";
            string body = ind + "_tuple = TupCons((unsigned) " + N(m.arity) + ");\n";
            for (std::size_t k = 0; k < m.fields.size(); ++k)
                body += ind + "TupSField(_tuple, (unsigned) " + N(k) + ", (DOMAIN) (" + Text(m.fields[k]) + "));\n";
            if (m.multiplicity) {
                const string w = Text(*m.multiplicity);
                body += ind + "MarInsert(_marking, MultupCons((unsigned long) (" + w + "), _tuple));\n";
                P("    if (0L != (unsigned long) (" + w + "))\n        {\n" + body + "        }\n");
            } else {
                body += ind + "MarInsert(_marking, MultupCons((unsigned long) " + N(m.count) + ", _tuple));\n";
                P(body);
            }
        }
    }
    if (hasVerify_) {
        if (t_->kind == TRANSITION::kOrdinary)
            P(C_ != 1 ? "    if (_kind[_class] != _CL_MEDIUM)\n        _someEnb = TRUE;\n" : "    _someEnb = TRUE;\n");
        P("    _evalState = _folState;\n");
        P("    if (!((*_buchiOK)()))\n        {\n            StaDiscard(_folState);\n");
        P(C_ != 1 ? "            goto C_O_N_T;\n" : "            return;\n");
        P("        }\n");
    }
    if (C_ != 1) {
        P("    if (_kind[_class] == _CL_MEDIUM)\n        {\n");
        P("            (void) StaEncode(_folState, EngABuffer(), EngABufSize());\n            StaDiscard(_folState);\n");
        P(string(comp ? "            (void) LstInsNext(_list" : "            (void) LstInsLast(_bundle[_class]") + ", (char *)\n");
        P("                              PeeCons((unsigned) " + n + "," + Values() + ", EngBuffer(), _visible));\n");
        P("            return;\n        }\n");
    }
    P("    _len = StaEncode(_folState, EngABuffer(), EngABufSize());\n");
    P("    _ndAddr = GphPutNode(_graph[0], EngBuffer(), _len, &_back);\n");
    P("    _len = InsEncode((unsigned) " + n + "," + ClassArg() + Values() + ", EngABuffer(), EngABufSize());\n");
    P("    _awAddr = GphPutArrow(_graph[0], EngBuffer(), _len,\n                          _awCount, PthEnd(nowPath), _ndAddr,\n"
      "                          _awFirst, _back," + string(tester_ ? " !_visible" : " TRUE") + ");\n");
    P("    if (Zel())\n        ZelStep(_visible);\n");
    P("    if ((_awCount == 0L) || FreeExpansion())\n        {\n            _awFirst = _awAddr;\n            _ndFirst = _ndAddr;\n"
      "        }\n    _awCount++;\n");
    if (tester_)
        P("    if (((unsigned long) -1L) != _back)\n        {\n            if (InfNow())\n                IllInfTrace(TRUE);\n"
          "            else if (DivNow() && !_visible)\n                IllDivTrace(TRUE);\n        }\n"
          "    else if (Reject() && _visible)\n        IllTrace();\n");
    P("    StaDiscard(_folState);\n");
    string queue;
    if (C_ != 1) {
        P("C_O_N_T: ;\n");
        if (!comp) P("    if (_kind[_class] == _CL_INDEPENDENT)\n        return;\n    (void) LstInsLast(_bundle[_class]");
        else P("    (void) LstInsNext(_list");
    } else if (comp) {
        P("    (void) LstInsNext(_list");
    }
    if (C_ != 1 || comp)
        P(", (char *)\n                      PeeCons((unsigned) " + n + "," + Values() + ", (DATATYPE *) NULL, _visible));\n");
    P("}\n");
}

void Gen::ArcRecords(bool input) {
    const auto& arcs = input ? t_->inArcs : t_->outArcs;
    const string put = input ? "PutInArc" : "PutOutArc";
    for (auto& a : arcs) {
        if (hasVerify_ && a->place == tester_) continue;
        for (auto& m : a->tuples) {
            const string ind = m.multiplicity ? "            " : "    ";
            string body = ind + "TupSArity(_w, (unsigned) " + N(m.arity) + ");\n";
            for (std::size_t k = 0; k < m.fields.size(); ++k)
                body += ind + "TupSField(_w, (unsigned) " + N(k) + "," +
                        (IsVar(m.fields[k]) ? " " + m.fields[k].var->cname : " (DOMAIN) (" + Text(m.fields[k]) + ")") + ");\n";
            if (m.multiplicity) {
                const string w = Text(*m.multiplicity);
                body += ind + put + "(_trn, (unsigned long) (" + w + "), (unsigned) " + PlaceRef(a->place) + ", _w);\n";
                P("    if (0L != (unsigned long) (" + w + "))\n        {\n" + body + "        }\n");
            } else {
                body += ind + put + "(_trn, (unsigned long) " + N(m.count) + ", (unsigned) " + PlaceRef(a->place) + ", _w);\n";
                P(body);
            }
        }
    }
}

void Gen::FuncD() {
    const string n = N(n_);
    P("FE0(void, _D" + n + ")/*" + t_->name + "*/\n{\n");
    EntryChecks();
    P("    (void) InsEncode((unsigned) " + n + "," + ClassArg() + Values() + ", EngABuffer(), EngABufSize());\n");
    P("    _trn = GetTrn(" + ClassArg() + " EngBuffer(), &_new);\n    if (!_new)\n        return;\n");
    if (!hasVerify_) {
        P("    if (_visible)\n        TrnSVisible(_trn);\n");
    } else if (t_->kind == TRANSITION::kDummy) {
        P("    TrnSDummy(_trn);\n");
    } else if (t_->kind == TRANSITION::kInitialize) {
        P("    TrnSInitial(_trn);\n");
    } else if (!t_->subAutomata.empty()) {
        const auto& subs = t_->subAutomata;
        P("    TrnSVisible(_trn);\n    if (Blocked())\n        {\n");
        P("            TrnABlocks(_trn, (unsigned) " + N(subs.size() + 1) + ");\n");
        for (std::size_t i = 0; i < subs.size(); ++i) {
            P("            (void) LstInsLast(Block((unsigned) " + N(subs[i]) + "), (char *) _trn);\n");
            P("            TrnSBlock(_trn, (unsigned) " + N(i) + ", (unsigned) " + N(subs[i]) + ");\n");
        }
        P("            TrnSBlock(_trn, (unsigned) " + N(subs.size()) + ", (unsigned) -1);\n        }\n");
    }
    ArcRecords(true);
    ArcRecords(false);
    P("    TrnReform(_trn);\n}\n");
}

void Gen::FuncE() {
    const string n = N(n_);
    P("FE0(void, _E" + n + ")/*" + t_->name + "*/\n{\n");
    const auto lets = LetVars();
    if (!lets.empty()) {
        for (auto& v : t_->variables) v->flags &= ~VARIABLE::kBound;
        for (auto& g : t_->gates) ClearTested(g);
        if (LetFirst(lets)) {
            for (VARIABLE* v : lets) v->flags |= VARIABLE::kBound;
            LoopChecks(AllArcs(), "return;\n", false);
        } else {
            for (std::size_t i = 0; i < lets.size(); ++i) {
                P("    " + lets[i]->cname + " = TupGField(_w, (unsigned) " + N(i) + ");\n");
                lets[i]->flags |= VARIABLE::kBound;
                LoopChecks(AllArcs(), "return;\n", false);
            }
        }
    }
    if (C_ != 1) P("    _class = 0;\n");
    if (!tester_) P("    _visible = PtDefVis() ? 1 : 0;\n");
    if (t_->comp) CompText("_D" + n);
    else P("    _D" + n + "();\n");
    P("}\n");
}

void Gen::FuncI() {
    const string n = N(n_);
    P("FE0(void, _I" + n + ")/*" + t_->name + "*/\n{\n");
    BoundChecks(AllArcs(), "return;\n");
    const auto lets = LetVars();
    if (!lets.empty()) {
        P("    TravRange((unsigned) " + n + ", (unsigned) " + N(lets.size()) + "," +
          (LetFirst(lets) ? " _v" : " TupGArray(_w)") + ", _E" + n + ");\n}\n");
        return;
    }
    std::vector<VARIABLE*> order;
    for (int counted = 0; counted < 2; ++counted)
        for (auto& v : t_->variables)
            if (v->name && v->Has(VARIABLE::kInput) && v->Has(VARIABLE::kCountBound) == (counted == 1)) order.push_back(v.get());
    std::vector<bool> used(order.size(), false);
    for (std::size_t m = 0; m < order.size(); ++m) {
        VARIABLE* v = order[m];
        P("    " + v->cname + " = (DOMAIN) " + N(v->low) + ";\n");
        P("_p" + N(m) + ": ;\n");
        v->flags |= VARIABLE::kBound;
        used[m] = LoopChecks(AllArcs(), "goto _q" + N(m) + ";\n", false);
    }
    P("    _E" + n + "();\n");
    for (std::size_t m = order.size(); m-- > 0;) {
        VARIABLE* v = order[m];
        if (used[m]) P("_q" + N(m) + ": ;\n");
        P("    if (" + v->cname + " != (DOMAIN) " + N(v->high) + ")\n        {\n            " + v->cname +
          "++;\n            goto _p" + N(m) + ";\n        }\n");
    }
    P("}\n");
}

void Gen::FuncF() {
    const string n = N(n_);
    P("FE0(void, _F" + n + ")/*" + t_->name + "*/\n{\n");
    Ranges();
    const auto outs = OutArcs();
    BoundChecks(outs, "return;\n");
    for (auto& a : t_->inArcs) {
        bool hasConst = false;
        for (auto& m : a->tuples)
            if (!m.multiplicity) hasConst = true;
        if (hasConst) P("    if (MarEmpty(StaGMarking(_state, (unsigned) " + PlaceRef(a->place) + ")))\n        return;\n");
    }
    const std::vector<Term> terms = SearchOrder(*t_);
    for (std::size_t i = 0; i < terms.size(); ++i) {
        const Term& tm = terms[i];
        MTUPLE& m = *tm.m;
        const string ab = N(tm.a) + "_" + N(tm.b);
        const string& c = tm.cursor;
        const string exitC = "goto _c" + ab + ";\n";
        if (tm.groupStart) {
            P("    _marking = StaGMarking(_state, (unsigned) " + PlaceRef(tm.arc->place) + ");\n");
            if (tm.firstOfArc)
                P("    MARFOR (_marking, " + c + ")\n        MultupSFreeCount(" + c + ", MultupGCount(" + c + "));\n");
        }
        if (m.multiplicity) P("    if (0L == (unsigned long) (" + Text(*m.multiplicity) + "))\n        goto _e" + ab + ";\n");
        P("    " + c + " = MarBegin(_marking);\n");
        if (m.arity > 0)
            P("    while (" + c + " && (MultupGArity(" + c + ") < (unsigned) " + N(m.arity) + "))\n        " + c +
              " = MarStep(_marking);\n");
        P("    if ((!" + c + ") || (MultupGArity(" + c + ") > (unsigned) " + N(m.arity) + "))\n        goto _d" + ab + ";\n");
        P("_b" + ab + ": ;\n");
        P("    if (MultupGFreeCount(" + c + ") < (unsigned long)" +
          (m.multiplicity ? " (" + Text(*m.multiplicity) + ")" : " " + N(m.count)) + ")\n        " + exitC);
        for (std::size_t k = 0; k < m.fields.size(); ++k) {
            TEXTPART& fd = m.fields[k];
            if (Tested(fd) || !TextIsConstant(fd)) continue;
            P("    if (MultupGField(" + c + ", (unsigned) " + N(k) + ") != (DOMAIN) (" + Text(fd) + "))\n        " + exitC);
            SetTested(fd);
        }
        for (std::size_t k = 0; k < m.fields.size(); ++k) {
            TEXTPART& fd = m.fields[k];
            if (!IsVar(fd) || fd.var->Has(VARIABLE::kBound)) continue;
            VARIABLE* v = fd.var;
            P("    " + v->cname + " = MultupGField(" + c + ", (unsigned) " + N(k) + ");\n");
            v->flags |= VARIABLE::kBound;
            SetTested(fd);
            if (v->Has(VARIABLE::kLimited)) {
                const std::size_t vi = VarIndex(v);
                if (v->guaranteedLow < reqLow_[vi]) P("    if (" + v->cname + " < (DOMAIN) " + N(reqLow_[vi]) + ")\n        " + exitC);
                if (reqHigh_[vi] < v->guaranteedHigh)
                    P("    if (" + v->cname + " > (DOMAIN) " + N(reqHigh_[vi]) + ")\n        " + exitC);
            }
        }
        for (std::size_t j = 0; j <= i; ++j) {
            MTUPLE& mj = *terms[j].m;
            for (std::size_t k = 0; k < mj.fields.size(); ++k) {
                TEXTPART& fd = mj.fields[k];
                if (Tested(fd) || !TextIsConstant(fd)) continue;
                P("    if (MultupGField(" + terms[j].cursor + ", (unsigned) " + N(k) + ") != (DOMAIN) (" + Text(fd) + "))\n        " +
                  exitC);
                SetTested(fd);
            }
        }
        LoopChecks(outs, exitC, true);
        P("    MultupDFreeCount(" + c + ", (unsigned long)" +
          (m.multiplicity ? " (" + Text(*m.multiplicity) + "));\n" : " " + N(m.count) + ");\n"));
        if (tm.saves) P("    " + tm.saved + " = MarGet(_marking);\n");
        if (m.multiplicity) P("_e" + ab + ": ;\n");
    }
    // Variables bound through count expressions whose terms took no part.
    for (auto& v : t_->variables)
        if (!(v->Has(VARIABLE::kInput) && !v->Has(VARIABLE::kCountBound))) v->flags &= ~VARIABLE::kBound;
    for (auto& a : t_->outArcs)
        for (auto& m : a->tuples)
            for (auto& fd : m.fields)
                if (Tested(fd) && !TextIsConstant(fd)) ClearTested(fd);
    for (auto& g : t_->gates)
        if (Tested(g) && !TextIsConstant(g)) ClearTested(g);
    std::vector<VARIABLE*> counted;
    for (auto& v : t_->variables)
        if (v->Has(VARIABLE::kInput) && v->Has(VARIABLE::kCountBound)) counted.push_back(v.get());
    std::vector<bool> qUsed(t_->variables.size(), false);
    useRequired_ = true;
    for (VARIABLE* v : counted) {
        const string m = N(VarIndex(v));
        for (const TEXTPART* e : v->countExprs) P("    if (0L != (unsigned long) (" + Text(*e) + "))\n        goto _r" + m + ";\n");
        P("    " + v->cname + " = (DOMAIN) " + N(RangeLow(v)) + ";\n");
        P("_p" + m + ": ;\n");
        v->flags |= VARIABLE::kBound;
        qUsed[VarIndex(v)] = LoopChecks(outs, "goto _q" + m + ";\n", true);
        if (!v->countExprs.empty()) P("_r" + m + ": ;\n");
    }
    const auto lets = LetVars();
    if (!lets.empty()) {
        const bool first = LetFirst(lets);
        if (!first)
            for (std::size_t i = 0; i < lets.size(); ++i) P("    TupSField(_w, (unsigned) " + N(i) + ", " + lets[i]->cname + ");\n");
        P("    if (!InRange((unsigned) " + n + ", (unsigned) " + N(lets.size()) + "," + (first ? " _v,\n" : " TupGArray(_w),\n") +
          "                 EngABuffer(), EngABufSize()))\n        goto _CONT;\n");
    }
    const bool comp = t_->comp.has_value();
    if (C_ != 1) P("    _class = 0;\n");
    else if (comp) P("    _list = LstCreate(&peeTools);\n");
    if (tester_ && hasVerify_) VerifyLoop();
    if (!tester_) P("    _visible = PtDefVis() ? 1 : 0;\n");
    if (comp) {
        CompText("_A" + n);
        if (C_ != 1)
            P("    for (_class = 0; _class < " + N(C_) +
              "; _class++)\n        {\n            if (LstEmpty(_tmpBundle[_class]))\n                continue;\n"
              "            if (_kind[_class] == _CL_INDEPENDENT)\n                {\n"
              "                    LstDestroy(_tmpBundle[_class], TRUE);\n                    _tmpBundle[_class] = LstCreate(&peeTools);\n"
              "                }\n            else\n                (void) LstCatenate(_bundle[_class], _tmpBundle[_class]);\n        }\n");
        else
            P("    LstDestroy(_list, TRUE);\n");
    } else {
        P("    _A" + n + "();\n");
    }
    if (!lets.empty()) P("_CONT: ;\n");
    for (std::size_t i = counted.size(); i-- > 0;) {
        VARIABLE* v = counted[i];
        const string m = N(VarIndex(v));
        for (const TEXTPART* e : v->countExprs) P("    if (0L != (unsigned long) (" + Text(*e) + "))\n        goto _s" + m + ";\n");
        if (qUsed[VarIndex(v)]) P("_q" + m + ": ;\n");
        P("    if (" + v->cname + " != (DOMAIN) " + N(RangeHigh(v)) + ")\n        {\n            " + v->cname + "++;\n            goto _p" +
          m + ";\n        }\n");
        if (!v->countExprs.empty()) P("_s" + m + ": ;\n");
    }
    for (std::size_t i = terms.size(); i-- > 0;) {
        const Term& tm = terms[i];
        const MTUPLE& m = *tm.m;
        const string ab = N(tm.a) + "_" + N(tm.b);
        const string& c = tm.cursor;
        const bool groupEnd = i + 1 == terms.size() || terms[i + 1].groupStart;
        if (groupEnd) P("    _marking = StaGMarking(_state, (unsigned) " + PlaceRef(tm.arc->place) + ");\n");
        if (m.multiplicity) P("    if (0L == (unsigned long) (" + Text(*m.multiplicity) + "))\n        goto _d" + ab + ";\n");
        if (tm.saves) P("    MarSet(_marking, " + tm.saved + ");\n");
        P("    MultupIFreeCount(" + c + ", (unsigned long)" +
          (m.multiplicity ? " (" + Text(*m.multiplicity) + "));\n" : " " + N(m.count) + ");\n"));
        P("_c" + ab + ": ;\n");
        P("    if ((" + c + " = MarStep(_marking)) &&\n        (MultupGArity(" + c + ") == (unsigned) " + N(m.arity) +
          "))\n        goto _b" + ab + ";\n");
        P("_d" + ab + ": ;\n");
    }
    P("}\n");
}

void Gen::VerifyLoop() {
    // Each successor state of the automaton gets its own firing.
    const auto& vars = t_->variables;
    const string last = vars.empty() ? string() : vars.back()->cname;
    string from;
    if (t_->kind == TRANSITION::kInitialize) {
        from = N(TesterStart() - 1);
    } else {
        from = "((unsigned) " + (vars.size() >= 2 ? vars[vars.size() - 2]->cname : string("0")) + ") - 1";
    }
    P("    for (_y_ = _x_[" + from + "]; (" + last + " = *_y_); _y_++)\n");
}

void Gen::Followers() {
    P("FE0(void, _Followers)\n{\n    ClBlocked();\n");
    const string C = N(C_);
    if (C_ != 1)
        P("    for (_class = 0; _class < " + C +
          "; _class++)\n        {\n            _bundle[_class] = LstCreate(&peeTools);\n"
          "            _tmpBundle[_class] = LstCreate(&peeTools);\n        }\n");
    const auto& ts = *d_.transitions;
    const TRANSITION* init = nullptr;
    const TRANSITION* dummy = nullptr;
    std::uint32_t initN = 0, dummyN = 0;
    for (std::uint32_t i = 0; i < ts.size(); ++i) {
        if (ts[i]->kind == TRANSITION::kInitialize) init = ts[i].get(), initN = i;
        if (ts[i]->kind == TRANSITION::kDummy) dummy = ts[i].get(), dummyN = i;
    }
    if (!hasVerify_) {
        for (std::uint32_t i = 0; i < ts.size(); ++i) P("    _F" + N(i) + "();\n");
    } else {
        const std::uint32_t first = TesterStart();
        P("    if (MultupGField(MarFirst(StaGMarking(_state, /*" + tester_->name + "*/MonPlInd())), (unsigned) 0)\n        == (DOMAIN) " +
          N(first) + ")\n        {\n");
        if (init) P("            _F" + N(initN) + "();\n");
        P("            _someEnb = TRUE;\n        }\n    else\n        {\n            _someEnb = FALSE;\n");
        for (std::uint32_t i = 0; i < ts.size(); ++i)
            if (ts[i]->kind == TRANSITION::kOrdinary) P("            _F" + N(i) + "();\n");
        if (C_ == 1 && dummy) P("            if (!_someEnb)\n                _F" + N(dummyN) + "();\n");
        P("        }\n");
    }
    if (C_ == 1) {
        P("}\n");
        return;
    }
    P("    for (_class = 0; _class < " + C + "; _class++)\n        LstDestroy(_tmpBundle[_class], TRUE);\n");
    for (std::uint32_t k = 1; k < C_; ++k) {
        if (!HasPrecTest(k)) continue;
        P("    LSTFOR (_bundle[" + N(k) + "], _peer, PEER)\n        {\n            _lwidth = IngGFdProfile(PeeGTrIndex(_peer));\n"
          "            _instance = PeeGInstance(_peer);\n");
        bool firstH = true;
        for (const CLASSNODE* h : Node(k)->higher) {
            if (!firstH) P("            if (PeeOn(_peer))\n                continue;\n");
            firstH = false;
            P("            LSTFOR (_bundle[" + N(h->number) + "], _hpeer, PEER)\n"
              "                if (_lwidth == IngGFdProfile(PeeGTrIndex(_hpeer)))\n                    {\n"
              "                        _hfolding = PeeGInstance(_hpeer);\n"
              "                        for (_field = 0; _field < _lwidth; _field++)\n"
              "                            if (_instance[_field] != _hfolding[_field])\n                                break;\n"
              "                        if (_field == _lwidth)\n                            {\n                                PeeSet(_peer);\n"
              "                                break;\n                            }\n                    }\n");
        }
        P("        }\n");
    }
    P("    for (_class = 0; _class < " + C +
      "; _class++)\n        {\n            if (_kind[_class] != _CL_MEDIUM)\n                continue;\n"
      "            LSTFOR (_bundle[_class], _peer, PEER)\n                {\n                    if (PeeOn(_peer))\n"
      "                        continue;\n");
    if (hasVerify_) P("                    _someEnb = TRUE;\n");
    P("                    if (((DATATYPE *) NULL) == PeeGBuffer(_peer))\n                        continue;\n"
      "                    _ndAddr = GphPutNode(_graph[0], PeeGBuffer(_peer),\n                                         DataLen(PeeGBuffer(_peer)),\n"
      "                                         &_back);\n"
      "                    _len = InsEncode(PeeGTrIndex(_peer), _class,\n                                     PeeGInstance(_peer), EngABuffer(),\n"
      "                                     EngABufSize());\n"
      "                    _awAddr = GphPutArrow(_graph[0], EngBuffer(), _len,\n                                          _awCount, PthEnd(nowPath),\n"
      "                                          _ndAddr, _awFirst, _back, TRUE);\n"
      "                    if (Zel())\n                        ZelStep(PeeVisible(_peer));\n"
      "                    if ((_awCount == 0L) || FreeExpansion())\n                        {\n                            _awFirst = _awAddr;\n"
      "                            _ndFirst = _ndAddr;\n                        }\n                    _awCount++;\n");
    if (tester_)
        P("                    if (((unsigned long) -1L) != _back)\n                        {\n                            if (InfNow())\n"
          "                                IllInfTrace(TRUE);\n                            else if (DivNow() && !PeeVisible(_peer))\n"
          "                                IllDivTrace(TRUE);\n                        }\n"
          "                    else if (Reject() && PeeVisible(_peer))\n                        {\n"
          "                            _folState = StaAlloc();\n                            StaDecode(PeeGBuffer(_peer), _folState);\n"
          "                            IllTrace();\n                            StaDiscard(_folState);\n                        }\n");
    P("                }\n        }\n");
    if (hasVerify_ && dummy) P("    if (!_someEnb)\n        _F" + N(dummyN) + "();\n");
    P("    for (_class = 0; _class < " + C + "; _class++)\n        LstDestroy(_bundle[_class], TRUE);\n}\n");
}

void Gen::FuncP(std::uint32_t k) {
    P("FE1(BOOL, _P" + N(k) + ",\n    TRN *, trn)\n{\n    SetLowTrn(trn);\n");
    for (const CLASSNODE* h : Node(k)->higher) {
        const string hs = N(h->number);
        P("    SetHiClass(" + hs + ");\n    (void) BalTrApply(TrnAvlset(" + hs + "), TrnPrec);\n    if (Lower(" + hs + "))\n        SetHigher(" +
          N(k) + ");\n");
    }
    P("    return(FALSE);\n}\n");
}

void Gen::CompInst() {
    P("FE0(void, _CompInst)\n{\n");
    // Blocks for every proposition and every sub-automaton that _D passes
    // to Block.
    std::uint32_t B = static_cast<std::uint32_t>(d_.atoms ? d_.atoms->size() : 0);
    for (auto& t : *d_.transitions)
        for (std::uint32_t s : t->subAutomata) B = std::max(B, s + 1);
    if (B > 0)
        P("    unsigned _iBlock;\n\n    if (Blocked() && PtStub() && PtDelAlg())\n        {\n            ABlocks((unsigned) " + N(B + 1) +
          ");\n            for (_iBlock = 0; _iBlock < (unsigned) " + N(B) +
          "; _iBlock++)\n                SBlock(_iBlock);\n            CBlock(_iBlock);\n        }\n    else\n        ClBlocked();\n");
    else
        P("    ClBlocked();\n");
    // _w lives for the whole run: _F writes let values into it.
    P("    _w = TupCons((unsigned) " + N(f_.W) + ");\n");
    for (std::uint32_t i = 0; i < d_.transitions->size(); ++i) P("    _I" + N(i) + "();\n");
    P("    TupSArity(_w, (unsigned) " + N(f_.W) + ");\n}\n");
}

void Gen::CompPrec() {
    P("FE0(void, _CompPrec)\n{\n");
    for (std::uint32_t k = 1; k < C_; ++k) {
        const CLASSNODE* c = Node(k);
        if (!c || c->higher.empty() || (c->flags & CLASSNODE::kNothing)) continue;
        if (c->flags & CLASSNODE::kInhibitor) P("    SetSelfHigher(" + N(k) + ");\n");
        else P("    (void) BalTrApply(TrnAvlset(" + N(k) + "), _P" + N(k) + ");\n");
    }
    P("}\n");
}

void Gen::BuchiOK() {
    P("FE0(BOOL, _BuchiOK)\n{\n");
    if (!hasVerify_ || !tester_) {
        P("    return(TRUE);\n}\n");
        return;
    }
    P("    _i_ = (unsigned) (MultupGField(MarFirst(StaGMarking(_evalState, /*" + tester_->name + "*/MonPlInd())),\n"
      "                                (unsigned) 0) - 1);\n");
    unsigned long label = 0;
    std::uint32_t j = 0;
    for (const Formula& f : *d_.atoms) {
        const std::uint32_t v = 1u << (2 * j), r = 2u << (2 * j);
        ++j;
        P("    if ((_z_[_i_] & (unsigned long) " + N(r) + ") != 0L) {\n        _xprTuple = NULL;\n");
        string code;
        if (f && f->atom) EmitProposition(&code, *f->atom, &label);
        else code = "    _xprDom = (DOMAIN) 1L;\n";
        o_.Raw(code);
        P("    if (((_z_[_i_] & (unsigned long) " + N(v) + ") == 0L) != (_xprDom == (DOMAIN) 0L))\n        return(FALSE);\n    }\n");
    }
    P("    return(TRUE);\n}\n");
}

void Gen::Run() {
    P("\n");
    Globals(true);
    const auto& ts = *d_.transitions;
    for (std::uint32_t i = 0; i < ts.size(); ++i)
        for (const char* f : {"_A", "_D", "_E", "_I", "_F"}) P("DE0(void, " + string(f) + N(i) + ")/*" + ts[i]->name + "*/\n");
    for (std::uint32_t k = 1; k < C_; ++k)
        if (HasPrecTest(k)) P("DE1(BOOL, _P" + N(k) + ",\n    TRN *, trn)\n");
    o_.NextFile();
    Globals(false);
    for (std::uint32_t i = 0; i < ts.size(); ++i) {
        t_ = ts[i].get();
        n_ = i;
        P("\n");
        FuncA();
        o_.NextFile();
        P("\n");
        FuncD();
        o_.NextFile();
        P("\n");
        FuncE();
        o_.NextFile();
        P("\n");
        FuncI();
        o_.NextFile();
        const auto terms = SearchOrder(*t_);
        string undefs;
        for (std::size_t j = 0; j < terms.size(); ++j) {
            if (j == 0) P("\n");
            P("#define " + terms[j].macro + " (_t[" + N(terms[j].tIndex) + "])\n");
            undefs += "#undef " + terms[j].macro + "\n";
        }
        for (const Term& tm : terms)
            if (tm.saves) {
                P("#define " + tm.saved + " (_u[" + N(tm.uIndex) + "])\n");
                undefs += "#undef " + tm.saved + "\n";
            }
        P("\n");
        FuncF();
        o_.NextFile();
        if (!terms.empty()) P("\n" + undefs);
    }
    t_ = nullptr;
    P("\n");
    Followers();
    o_.NextFile();
    for (std::uint32_t k = 1; k < C_; ++k)
        if (HasPrecTest(k)) {
            P("\n");
            FuncP(k);
            o_.NextFile();
        }
    P("\n");
    CompInst();
    o_.NextFile();
    P("\n");
    CompPrec();
    P("\n");
    BuchiOK();
    o_.Script();
}

}  // namespace

void GenerateCode(std::FILE* header, const std::string& headerName, const std::string& prefix, const NETDESC& net) {
    Output out(header, headerName, prefix);
    Gen gen(out, net);
    gen.Run();
    out.Close();
}

}  // namespace tulc
