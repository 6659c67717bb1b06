#include "butra.h"

#include <cerrno>

#include "diag.h"
#include "net.h"
#include "outfile.h"
#include "parser.h"

namespace tulc {

namespace {

// The place of an atom "place is not empty": p != empty, empty != p or
// empty < p (p > empty); -1 for any other atom.
std::int64_t NonEmptyPlace(const FORMULA* atom) {
    const INTNODE& e = *atom->atom;
    auto isPlace = [](const MkTree& m) { return m && m->op == MK_PLACE; };
    auto isEmpty = [](const MkTree& m) { return m && m->op == MK_CONST && m->constant.Empty(); };
    if (e.op == I_MNE && isPlace(e.m1) && isEmpty(e.m2)) return e.m1->place;
    if ((e.op == I_MNE || e.op == I_MLT) && isEmpty(e.m1) && isPlace(e.m2)) return e.m2->place;
    return -1;
}

std::string StateName(const BUCHISTATE& s) {
    char id[32];
    std::snprintf(id, sizeof id, "_%lx_", static_cast<unsigned long>(s.number));
    return std::string(s.Accepting() ? "accept" : "nonacc") + id + (s.Start() ? "start" : "conti");
}

void WriteNeverClaim(const std::string& file, const Automaton& states, const std::vector<Formula>& atoms) {
    if (!NeverClaimPossible(atoms)) {
        ReportError("Some atomic formula prevents the program\nfrom printing a Buchi automaton into a text file.");
        return;
    }
    errno = 0;
    std::FILE* out = outfile::open(file, "w");
    if (!out) {
        ReportError("$Cannot open empty file " + file + " for writing");
        return;
    }
    BuchiExt(out, states, atoms);
    if (std::ferror(out) | std::fclose(out)) ReportFatal("$Cannot write file " + file);
}

// Tester place t_e_s_t_e_r, the transitions i_n_i_t_i_a_l_i_z_e and
// d_u_m_m_y, and the tester-state variables and arcs of every transition.
void BuildTester(const Automaton& states) {
    auto& net = Net();
    const std::uint32_t idle = static_cast<std::uint32_t>(states.size()) + 1;
    auto place = PlaceCons("t_e_s_t_e_r", {}, {}, Marking::Single({idle}));
    place->arity = 1;
    net.placeIndex[place->name] = static_cast<std::uint32_t>(net.places.size());
    net.testerPlace = place.get();
    PLACE* tester = place.get();
    net.places.push_back(std::move(place));
    for (const auto& s : states)
        if (s->Accepting()) net.testerValues[s->number] |= kInfinite;
    for (std::uint32_t kind : {TRANSITION::kInitialize, TRANSITION::kDummy}) {
        auto t = TransCons(kind == TRANSITION::kInitialize ? "i_n_i_t_i_a_l_i_z_e" : "d_u_m_m_y", net.settings.letMode);
        t->kind = kind;
        net.transitionByName[t->name] = t.get();
        net.transitions.push_back(std::move(t));
    }
    for (auto& t : net.transitions) {
        MTUPLE in = MtupleCons(1);
        in.count = 1;
        if (t->kind == TRANSITION::kInitialize) {
            in.fields[0] = TextLiteral(std::to_string(idle));
        } else {
            t->variables.push_back(VarCons(std::nullopt));
            t->variables.back()->flags |= VARIABLE::kInput;
            in.fields[0] = TextVariable(t->variables.back().get());
        }
        std::vector<MTUPLE> ins;
        ins.push_back(std::move(in));
        TransAddIn(*t, tester, std::move(ins));
        t->variables.push_back(VarCons(std::nullopt));
        t->variables.back()->flags |= VARIABLE::kOutput;
        MTUPLE out = MtupleCons(1);
        out.count = 1;
        out.fields[0] = TextVariable(t->variables.back().get());
        std::vector<MTUPLE> outs;
        outs.push_back(std::move(out));
        TransAddOut(*t, tester, std::move(outs));
        t->FillAllArcs();
    }
}

}  // namespace

bool NeverClaimPossible(const std::vector<Formula>& atoms) {
    for (const auto& a : atoms)
        if (NonEmptyPlace(a.get()) < 0) return false;
    return true;
}

bool BuchiExt(std::FILE* out, const Automaton& states, const std::vector<Formula>& atoms) {
    if (!NeverClaimPossible(atoms)) return false;
    auto& places = Net().places;
    auto edges = [&](const BUCHISTATE& s) {
        std::string cond;
        for (std::size_t i = 0; i < atoms.size(); ++i) {
            if (!((s.label >> (2 * i + 1)) & 1u)) continue;
            const std::string& name = places[static_cast<std::size_t>(NonEmptyPlace(atoms[i].get()))]->name;
            if (!cond.empty()) cond += " && ";
            cond += ((s.label >> (2 * i)) & 1u) ? "  (" + name + ") " : "(!(" + name + "))";
        }
        if (cond.empty()) cond = "1";
        for (const BUCHISTATE* t : s.succ)
            std::fprintf(out, "  :: (%s) -> goto %s\n", cond.c_str(), StateName(*t).c_str());
    };
    std::fputs("never {\nnonacc_init:\n  if\n", out);
    for (const auto& s : states)
        if (s->Start()) {
            std::fprintf(out, "  /* like %s */\n", StateName(*s).c_str());
            edges(*s);
        }
    std::fputs("  fi;\n", out);
    for (int pass = 1; pass <= 2; ++pass)
        for (const auto& s : states) {
            if (s->Start() != (pass == 1)) continue;
            std::fprintf(out, "%s:\n  if\n", StateName(*s).c_str());
            edges(*s);
            std::fputs("  fi;\n", out);
        }
    std::fputs("}\n", out);
    return true;
}

VerifyOutcome Translate() {
    auto& net = Net();
    ParserReset();
    ForFoldAtoms() = true;
    Formula f;
    ParseText(&f, nullptr, nullptr, net.verifyText);
    ForFoldAtoms() = false;
    if (ParseErrorState() != 0) return VerifyOutcome::kParseError;
    if (!f) return VerifyOutcome::kFalse;
    if (IsTrue(f.get())) return VerifyOutcome::kTrue;
    // The negation: its automaton accepts the runs that violate f.
    Formula neg = IsNegation(f.get()) ? std::move(f->left) : ForCons(FORMULA::kImplies, std::move(f), nullptr);
    std::vector<const FORMULA*> found;
    ForAtoms(neg.get(), found);
    if (found.empty()) InternalError("\nInternal error in BuTra\n");
    if (found.size() > kMaxAtoms) return VerifyOutcome::kBeyondDataModel;
    net.verifyAtoms.clear();
    std::vector<const FORMULA*> atoms;
    for (const FORMULA* a : found) {
        net.verifyAtoms.push_back(ForCopy(a));
        atoms.push_back(net.verifyAtoms.back().get());
    }
    // The transitions that touch a place of an atom of a tableau's formula
    // get that sub-automaton's number.
    std::vector<std::vector<TRANSITION*>> touching(net.places.size());
    for (auto& t : net.transitions)
        for (ARC* a : t->allArcs) {
            auto& list = touching[net.placeIndex[a->place->name]];
            if (list.empty() || list.back() != t.get()) list.push_back(t.get());
        }
    std::uint32_t subAutomaton = 0;
    BuchiContext ctx;
    ctx.atoms = &atoms;
    ctx.noteSubAutomaton = [&](const FORMULA* g) {
        const std::uint32_t number = subAutomaton++;
        std::vector<const FORMULA*> mine;
        ForAtoms(g, mine);
        std::vector<TRANSITION*> noted;
        for (const FORMULA* a : mine)
            for (std::uint32_t p : PlacesOf(*a->atom))
                for (TRANSITION* t : touching[p])
                    if (std::find(noted.begin(), noted.end(), t) == noted.end()) noted.push_back(t);
        for (auto& t : net.transitions)
            if (std::find(noted.begin(), noted.end(), t.get()) != noted.end()) t->subAutomata.push_back(number);
    };
    Automaton automaton = BuchiBuild(neg.get(), false, ctx);
    neg.reset();
    if (ctx.beyondDataModel) return VerifyOutcome::kBeyondDataModel;
    if (automaton.empty()) return VerifyOutcome::kTrue;
    if (net.settings.neverClaimFile) WriteNeverClaim(*net.settings.neverClaimFile, automaton, net.verifyAtoms);
    // Start states that contradict the initial marking are no start states.
    std::uint32_t initial = 0;
    for (std::size_t i = 0; i < atoms.size(); ++i)
        if (IntEvaluate(*atoms[i]->atom)) initial |= 1u << (2 * i);
    bool cleared = false;
    for (auto& s : automaton) {
        if (!s->Start()) continue;
        const std::uint32_t constrained = (s->label >> 1) & 0x55555555u;
        if (((s->label ^ initial) & constrained) != 0) {
            s->flags &= ~BUCHISTATE::kStart;
            cleared = true;
        }
    }
    if (cleared) BuchiPrune(automaton);
    if (automaton.empty()) return VerifyOutcome::kTrueInitially;
    BuildTester(automaton);
    net.buchi = std::move(automaton);
    return VerifyOutcome::kAutomaton;
}

void BuTra() {
    switch (Translate()) {
    case VerifyOutcome::kAutomaton: return;
    case VerifyOutcome::kParseError: break;
    case VerifyOutcome::kFalse: OutText("\nThe formula to be verified is equivalent to 0 and is thus false\n"); break;
    case VerifyOutcome::kTrue: OutText("\nThe formula to be verified is equivalent to 1 and is thus true\n"); break;
    case VerifyOutcome::kTrueInitially:
        OutText("\nThe formula to be verified is true\nas can be seen from the initial marking\n");
        break;
    case VerifyOutcome::kBeyondDataModel:
        ReportError("The formula to be verified is too large: at most 16 atomic propositions\nand 31 entries in the "
                    "closure of a subformula are possible");
        break;
    }
    ExitProgram(1);
}

}  // namespace tulc
