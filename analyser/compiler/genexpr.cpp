// The code of #verify propositions: straight-line C statements per operator
// of the expression trees.  Integer values end in _xprDom, markings in
// _xprMk; operands park their values on the stack _xprVal at the level of
// the operator.  The trees may be deep, so the emitter keeps its own stack
// of pending pieces instead of recursing.
#include "genexpr.h"

#include <vector>

#include "records.h"

namespace tulc {

namespace {

using std::string;

// A pending piece: text, or an operand to expand at a level.
struct Piece {
    string text;
    const INTNODE* i = nullptr;
    const MKNODE* m = nullptr;
    unsigned level = 0;
};

string U(unsigned v) { return std::to_string(v); }
string L(unsigned long v) { return std::to_string(v); }

const char kAbortHead[] = "            (void) fprintf(_out, \"\\n\");\n            (void) fflush(_out);\n";

class Emitter {
public:
    Emitter(string* out, unsigned long* label) : out_(out), label_(label) {}

    void Run(const INTNODE& root) {
        stack_.push_back(Piece{"", &root, nullptr, 0});
        while (!stack_.empty()) {
            Piece p = std::move(stack_.back());
            stack_.pop_back();
            if (p.i) Int(*p.i, p.level);
            else if (p.m) Mk(*p.m, p.level);
            else *out_ += p.text;
        }
    }

private:
    string* out_;
    unsigned long* label_;
    std::vector<Piece> stack_;

    // Pieces in writing order, pushed so that the first comes first.
    void Seq(std::vector<Piece> pieces) {
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) stack_.push_back(std::move(*it));
    }
    static Piece T(string s) { return Piece{std::move(s), nullptr, nullptr, 0}; }
    static Piece I(const INTNODE* n, unsigned d) { return Piece{"", n, nullptr, d}; }
    static Piece M(const MKNODE* n, unsigned d) { return Piece{"", nullptr, n, d}; }
    unsigned long Label() { return (*label_)++; }

    void Int(const INTNODE& n, unsigned d);
    void Mk(const MKNODE& n, unsigned d);
};

void Emitter::Int(const INTNODE& n, unsigned d) {
    const string D = U(d);
    switch (n.op) {
    case I_CONST: *out_ += "    _xprDom = (DOMAIN) " + ULongText(n.value) + ";\n"; return;
    case I_FIELD:
        Seq({I(n.i1.get(), d),
             T("    if ((!_xprTuple) || (TupGArity(_xprTuple) <= (unsigned) _xprDom))\n        {\n" + string(kAbortHead) +
               "            (void) fprintf(_err, \"\\nIllegal field reference: %u\\n\",\n                           (unsigned) _xprDom);\n"
               "            (void) fflush(_err);\n            if (_xprTuple)\n                TupDump(_xprTuple, (unsigned) 0);\n"
               "            abort();\n        }\n    _xprDom = TupGField(_xprTuple, (unsigned) _xprDom);\n")});
        return;
    case I_CARD:
        Seq({M(n.m1.get(), d), T("    _xprDom = (DOMAIN) 0L;\n    (void) MarBegin(_xprMk);\n    while (MarThis(_xprMk))\n        {\n"
                                 "            _xprDom += MultupGCount(MarThis(_xprMk));\n            (void) MarStep(_xprMk);\n"
                                 "        }\n    MarDiscard(_xprMk);\n")});
        return;
    case I_NEG:
        Seq({I(n.i1.get(), d), T("    _xprDom = ((_xprDom == (DOMAIN) MINDOMAIN) ? _xprDom : ~(_xprDom - (DOMAIN) 1L));\n")});
        return;
    case I_NOT: Seq({I(n.i1.get(), d), T("    _xprDom = !_xprDom;\n")}); return;
    case I_COMPL: Seq({I(n.i1.get(), d), T("    _xprDom = ~_xprDom;\n")}); return;
    case I_MUL:
    case I_AND:
    case I_SHL:
    case I_SHR: {
        // Short-cut on a zero left operand.
        const string r = L(Label());
        string combine;
        if (n.op == I_MUL) combine = "    _xprDom *= _xprVal[" + D + "].d;\n";
        else if (n.op == I_AND) combine = "    _xprDom &= _xprVal[" + D + "].d;\n";
        else
            // The count is taken mod 32, as the compile-time folding does.
            combine = "    _xprDom = (_xprVal[" + D + "].d " + (n.op == I_SHL ? "<<" : ">>") + " (_xprDom & (DOMAIN) 31));\n";
        Seq({I(n.i1.get(), d + 1), T("    if (!_xprDom)\n        goto _r" + r + ";\n    _xprVal[" + D + "].d = _xprDom;\n"),
             I(n.i2.get(), d + 1), T(combine + "_r" + r + ": ;\n")});
        return;
    }
    case I_DIV:
    case I_REM:
        Seq({I(n.i2.get(), d + 1),
             T("    if (!_xprDom)\n        {\n" + string(kAbortHead) + "            P(_err, \"Division by zero\\n\");\n"
               "            (void) fflush(_err);\n            abort();\n        }\n    _xprVal[" + D + "].d = _xprDom;\n"),
             I(n.i1.get(), d + 1), T(string(n.op == I_DIV ? "    _xprDom /= _xprVal[" : "    _xprDom %= _xprVal[") + D + "].d;\n")});
        return;
    case I_SUB:
        Seq({I(n.i2.get(), d + 1), T("    _xprVal[" + D + "].d = _xprDom;\n"), I(n.i1.get(), d + 1),
             T("    _xprDom -= _xprVal[" + D + "].d;\n")});
        return;
    case I_ADD:
    case I_XOR:
        Seq({I(n.i1.get(), d + 1), T("    _xprVal[" + D + "].d = _xprDom;\n"), I(n.i2.get(), d + 1),
             T(string(n.op == I_ADD ? "    _xprDom += _xprVal[" : "    _xprDom ^= _xprVal[") + D + "].d;\n")});
        return;
    case I_LT:
    case I_LE:
    case I_EQ:
    case I_NE: {
        const char* op = n.op == I_LT ? "<" : n.op == I_LE ? "<=" : n.op == I_EQ ? "==" : "!=";
        Seq({I(n.i1.get(), d + 1), T("    _xprVal[" + D + "].d = _xprDom;\n"), I(n.i2.get(), d + 1),
             T("    _xprDom = (_xprVal[" + D + "].d " + op + " _xprDom);\n")});
        return;
    }
    case I_OR: {
        // Short-cut on an all-ones left operand (a 32-bit word).
        const string r = L(Label());
        Seq({I(n.i1.get(), d + 1), T("    if (_xprDom == (DOMAIN) ~(DOMAIN) 0)\n        goto _r" + r + ";\n    _xprVal[" + D + "].d = _xprDom;\n"),
             I(n.i2.get(), d + 1), T("    _xprDom |= _xprVal[" + D + "].d;\n_r" + r + ": ;\n")});
        return;
    }
    case I_LAND: {
        const string r = L(Label());
        Seq({I(n.i1.get(), d), T("    if (!_xprDom)\n        goto _r" + r + ";\n"), I(n.i2.get(), d),
             T("    _xprDom = (_xprDom != (DOMAIN) 0L);\n_r" + r + ": ;\n")});
        return;
    }
    case I_LOR: {
        const string r = L(Label());
        Seq({I(n.i1.get(), d), T("    if (_xprDom != (DOMAIN) 0L)\n        goto _r" + r + ";\n"), I(n.i2.get(), d),
             T("_r" + r + ": ;\n    _xprDom = (_xprDom != (DOMAIN) 0L);\n")});
        return;
    }
    case I_COND: {
        const string l = L(Label());
        Seq({I(n.i1.get(), d), T("    if (!_xprDom)\n        goto _r" + l + ";\n"), I(n.i2.get(), d),
             T("    goto _s" + l + ";\n_r" + l + ": ;\n"), I(n.i3.get(), d), T("_s" + l + ": ;\n")});
        return;
    }
    case I_MLT: {
        const string r = L(Label());
        Seq({M(n.m2.get(), d + 1),
             T("    if (MarEmpty(_xprMk))\n        {\n            _xprDom = (DOMAIN) 0L;\n            goto _r" + r + ";\n        }\n"
               "    _xprVal[" + D + "].b.mb = _xprMk;\n"),
             M(n.m1.get(), d + 1),
             T("    _xprDom = (DOMAIN) MarLess(_xprMk, _xprVal[" + D + "].b.mb);\n    MarDiscard(_xprVal[" + D + "].b.mb);\n_r" + r +
               ": ;\n    MarDiscard(_xprMk);\n")});
        return;
    }
    case I_MLE: {
        const string r = L(Label());
        Seq({M(n.m1.get(), d + 1),
             T("    if (MarEmpty(_xprMk))\n        {\n            _xprDom = 1L;\n            goto _r" + r + ";\n        }\n"
               "    _xprVal[" + D + "].b.mb = _xprMk;\n"),
             M(n.m2.get(), d + 1),
             T("    _xprDom = (DOMAIN) MarLequal(_xprVal[" + D + "].b.mb, _xprMk);\n    MarDiscard(_xprVal[" + D + "].b.mb);\n_r" + r +
               ": ;\n    MarDiscard(_xprMk);\n")});
        return;
    }
    case I_MEQ:
    case I_MNE:
        Seq({M(n.m1.get(), d + 1), T("    _xprVal[" + D + "].b.mb = _xprMk;\n"), M(n.m2.get(), d + 1),
             T(string("    _xprDom = (DOMAIN) ") + (n.op == I_MNE ? "!" : "") + "MarEqual(_xprVal[" + D + "].b.mb, _xprMk);\n"
               "    MarDiscard(_xprVal[" + D + "].b.mb);\n    MarDiscard(_xprMk);\n")});
        return;
    default: *out_ += "    _xprDom = (DOMAIN) 0L;\n"; return;
    }
}

void Emitter::Mk(const MKNODE& n, unsigned d) {
    const string D = U(d);
    switch (n.op) {
    case MK_CONST: {
        string s = "    _xprMk = MarCreate();\n";
        for (const Multup& e : n.constant.Entries()) {
            s += "    _tuple = TupCons((unsigned) " + U(static_cast<unsigned>(e.tuple.size())) + ");\n";
            for (std::size_t k = 0; k < e.tuple.size(); ++k)
                s += "    TupSField(_tuple, (unsigned) " + U(static_cast<unsigned>(k)) + ", (DOMAIN) " + ULongText(e.tuple[k]) + ");\n";
            s += "    MarInsLast(_xprMk, MultupCons((unsigned long) " + ULongText(e.count) + ", _tuple));\n";
        }
        *out_ += s;
        return;
    }
    case MK_PLACE: *out_ += "    _xprMk = MarCopy(StaGMarking(_evalState, (unsigned) " + U(n.place) + "));\n"; return;
    case MK_RANGES: {
        const string l = L(Label());
        const string a = U(static_cast<unsigned>(n.ranges.size()));
        std::vector<Piece> ps;
        ps.push_back(T("    _xprVal[" + D + "].b.t0 = TupCons((unsigned) " + a + ");\n    _xprVal[" + D + "].b.t1 = TupCons((unsigned) " + a +
                       ");\n    _xprVal[" + D + "].b.t2 = TupCons((unsigned) " + a + ");\n    _xprVal[" + D + "].b.mb = MarCreate();\n"));
        for (std::size_t k = 0; k < n.ranges.size(); ++k) {
            const string i = U(static_cast<unsigned>(k));
            ps.push_back(I(n.ranges[k].low.get(), d + 1));
            ps.push_back(T("    TupSField(_xprVal[" + D + "].b.t0, (unsigned) " + i + ", (DOMAIN) _xprDom);\n"));
            ps.push_back(I(n.ranges[k].high.get(), d + 1));
            ps.push_back(T("    TupSField(_xprVal[" + D + "].b.t1, (unsigned) " + i + ", (DOMAIN) _xprDom);\n    if (TupGField(_xprVal[" + D +
                           "].b.t0, (unsigned) " + i + ") >\n        TupGField(_xprVal[" + D + "].b.t1, (unsigned) " + i +
                           "))\n        goto _q" + l + ";\n"));
        }
        string s;
        for (std::size_t k = 0; k < n.ranges.size(); ++k) {
            const string i = U(static_cast<unsigned>(k));
            s += "    TupSField(_xprVal[" + D + "].b.t2, (unsigned) " + i + ",\n              TupGField(_xprVal[" + D + "].b.t0, (unsigned) " + i +
                 "));\n_p" + l + "_" + i + ": ;\n";
        }
        s += "    MarInsLast(_xprVal[" + D + "].b.mb,\n               MultupCons((unsigned long) 1L, TupCopy(_xprVal[" + D + "].b.t2)));\n";
        for (std::size_t k = n.ranges.size(); k-- > 0;) {
            const string i = U(static_cast<unsigned>(k));
            s += "    if (TupGField(_xprVal[" + D + "].b.t2, (unsigned) " + i + ") <\n        TupGField(_xprVal[" + D + "].b.t1, (unsigned) " + i +
                 "))\n        {\n            TupIncField(_xprVal[" + D + "].b.t2, (unsigned) " + i + ");\n            goto _p" + l + "_" + i +
                 ";\n        }\n";
        }
        s += "_q" + l + ": ;\n    TupDiscard(_xprVal[" + D + "].b.t0);\n    TupDiscard(_xprVal[" + D + "].b.t1);\n    TupDiscard(_xprVal[" + D +
             "].b.t2);\n    _xprMk = _xprVal[" + D + "].b.mb;\n";
        ps.push_back(T(s));
        Seq(std::move(ps));
        return;
    }
    case MK_SCALE: {
        const string r = L(Label());
        Seq({I(n.scalar.get(), d + 1),
             T("    if (!_xprDom)\n        {\n            _xprMk = MarCreate();\n            goto _r" + r + ";\n        }\n    _xprVal[" + D +
               "].d = _xprDom;\n"),
             M(n.m1.get(), d + 1), T("    _xprMk = MarProduct(_xprMk, (unsigned long) _xprVal[" + D + "].d);\n_r" + r + ": ;\n")});
        return;
    }
    case MK_CARTES: {
        const string r = L(Label());
        Seq({M(n.m1.get(), d + 1), T("    if (MarEmpty(_xprMk))\n        goto _r" + r + ";\n    _xprVal[" + D + "].b.mb = _xprMk;\n"),
             M(n.m2.get(), d + 1),
             T("    if (!MarEmpty(_xprMk))\n        (_tmpMk = MarCartes(_xprVal[" + D + "].b.mb, _xprMk),\n         MarDiscard(_xprMk), _xprMk = _tmpMk);\n"
               "    MarDiscard(_xprVal[" + D + "].b.mb);\n_r" + r + ": ;\n")});
        return;
    }
    case MK_SUM:
        Seq({M(n.m1.get(), d + 1), T("    _xprVal[" + D + "].b.mb = _xprMk;\n"), M(n.m2.get(), d + 1),
             T("    (void) MarAdd(_xprMk, _xprVal[" + D + "].b.mb);\n    MarDiscard(_xprVal[" + D + "].b.mb);\n")});
        return;
    case MK_DIFF: {
        const string r = L(Label());
        Seq({M(n.m1.get(), d + 1), T("    if (MarEmpty(_xprMk))\n        goto _r" + r + ";\n    _xprVal[" + D + "].b.mb = _xprMk;\n"),
             M(n.m2.get(), d + 1),
             T("    (void) MarSubtract(_xprVal[" + D + "].b.mb, _xprMk);\n    MarDiscard(_xprMk);\n    _xprMk = _xprVal[" + D + "].b.mb;\n_r" + r +
               ": ;\n")});
        return;
    }
    case MK_FILTER: {
        const string l = L(Label());
        Seq({M(n.m1.get(), d + 1),
             T("    if (!MarBegin(_xprMk))\n        goto _c" + l + ";\n    _xprVal[" + D + "].a.t = _xprTuple;\n    _xprVal[" + D +
               "].a.ma = _xprMk;\n    _xprVal[" + D + "].a.c = NULL;\n_b" + l + ": ;\n    _xprTuple = MultupGTuple(MarThis(_xprVal[" + D +
               "].a.ma));\n"),
             I(n.scalar.get(), d + 1),
             T("    if (!_xprDom)\n        {\n            MarSet(_xprVal[" + D + "].a.ma, _xprVal[" + D + "].a.c);\n            MarDelNext(_xprVal[" +
               D + "].a.ma);\n        }\n    else\n        _xprVal[" + D + "].a.c = MarGet(_xprVal[" + D + "].a.ma);\n    if (MarStep(_xprVal[" + D +
               "].a.ma))\n    goto _b" + l + ";\n    _xprTuple = _xprVal[" + D + "].a.t;\n    _xprMk = _xprVal[" + D + "].a.ma;\n_c" + l + ": ;\n")});
        return;
    }
    case MK_INTERSECT: {
        const string r = L(Label());
        Seq({M(n.m1.get(), d + 1), T("    if (MarEmpty(_xprMk))\n        goto _r" + r + ";\n    _xprVal[" + D + "].b.mb = _xprMk;\n"),
             M(n.m2.get(), d + 1),
             T("    if (!MarEmpty(_xprMk))\n        (void) MarIntersect(_xprMk, _xprVal[" + D + "].b.mb);\n    MarDiscard(_xprVal[" + D +
               "].b.mb);\n_r" + r + ": ;\n")});
        return;
    }
    default: *out_ += "    _xprMk = MarCreate();\n"; return;
    }
}

}  // namespace

void EmitProposition(std::string* out, const INTNODE& root, unsigned long* label) {
    Emitter e(out, label);
    e.Run(root);
}

}  // namespace tulc
