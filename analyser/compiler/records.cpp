#include "records.h"

#include <cstdlib>

namespace tulc {

namespace {

const Tuple* LimitOf(const std::vector<Tuple>& limits, std::size_t arity) {
    for (const auto& t : limits)
        if (t.size() == arity) return &t;
    return nullptr;
}

bool PlainDecimal(const std::string& s) {
    if (s.empty() || s[0] < '1' || s[0] > '9') return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

}  // namespace

const Tuple* PLACE::LowOf(std::size_t arity) const { return LimitOf(low, arity); }
const Tuple* PLACE::HighOf(std::size_t arity) const { return LimitOf(high, arity); }

std::unique_ptr<PLACE> PlaceCons(std::string name, std::vector<Tuple> low, std::vector<Tuple> high,
                                 Marking initial) {
    auto p = std::make_unique<PLACE>();
    p->name = std::move(name);
    p->low = std::move(low);
    p->high = std::move(high);
    p->initial = std::move(initial);
    return p;
}

TEXTPART TextLiteral(const std::string& text) {
    TEXTPART t;
    t.flags = TEXTPART::kLiteral;
    t.text = text;
    if (PlainDecimal(text)) {
        // Read as unsigned long: a value with bit 31 set is written in
        // hexadecimal, so that the C compiler takes it as unsigned.
        unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
        if (v <= 0xFFFFFFFFull && (v & 0x80000000ull)) t.text = ULongText(static_cast<std::uint32_t>(v));
    }
    return t;
}

TEXTPART TextVariable(VARIABLE* var) {
    TEXTPART t;
    t.flags = TEXTPART::kVariable;
    t.var = var;
    return t;
}

TEXTPART TextList(std::vector<TEXTPART> parts) {
    TEXTPART t;
    t.flags = TEXTPART::kList;
    t.parts = std::move(parts);
    return t;
}

bool TextIsConstant(const TEXTPART& t) {
    if (t.IsLiteral()) return true;
    if (t.IsVariable()) return t.var->Has(VARIABLE::kBound);
    for (const auto& p : t.parts)
        if (!TextIsConstant(p)) return false;
    return true;
}

std::string TextString(const TEXTPART& t) {
    if (t.IsLiteral()) return t.text;
    if (t.IsVariable()) return t.var->cname;
    std::string s;
    for (const auto& p : t.parts) s += TextString(p);
    return s;
}

void TextPrint(std::FILE* stream, const TEXTPART& t) {
    std::string s = TextString(t);
    std::fwrite(s.data(), 1, s.size(), stream);
}

std::unique_ptr<VARIABLE> VarCons(std::optional<std::string> name) {
    auto v = std::make_unique<VARIABLE>();
    v->name = std::move(name);
    return v;
}

MTUPLE::MTUPLE(const MTUPLE& o)
    : multiplicity(o.multiplicity ? std::make_unique<TEXTPART>(*o.multiplicity) : nullptr),
      count(o.count),
      arity(o.arity),
      fields(o.fields),
      label(o.label),
      position(o.position) {}

MTUPLE& MTUPLE::operator=(const MTUPLE& o) {
    if (this != &o) *this = MTUPLE(o);
    return *this;
}

MTUPLE MtupleCons(std::uint32_t arity) {
    MTUPLE m;
    m.arity = arity;
    m.fields.resize(arity);
    return m;
}

std::unique_ptr<ARC> ArcCons(PLACE* place, std::vector<MTUPLE> tuples) {
    auto a = std::make_unique<ARC>();
    a->place = place;
    a->tuples = std::move(tuples);
    return a;
}

ARC* TransAddIn(TRANSITION& t, PLACE* place, std::vector<MTUPLE> tuples) {
    t.inArcs.push_back(ArcCons(place, std::move(tuples)));
    return t.inArcs.back().get();
}

ARC* TransAddOut(TRANSITION& t, PLACE* place, std::vector<MTUPLE> tuples) {
    t.outArcs.push_back(ArcCons(place, std::move(tuples)));
    return t.outArcs.back().get();
}

void TRANSITION::FillAllArcs() {
    allArcs.clear();
    for (auto& a : inArcs) allArcs.push_back(a.get());
    for (auto& a : outArcs) allArcs.push_back(a.get());
}

std::unique_ptr<TRANSITION> TransCons(std::string name, bool letMode) {
    auto t = std::make_unique<TRANSITION>();
    t->name = std::move(name);
    if (letMode) t->letSet.emplace();
    return t;
}

std::unique_ptr<CLASSNODE> ClassCons(std::uint32_t number) {
    auto c = std::make_unique<CLASSNODE>();
    c->number = number;
    return c;
}

std::string ULongText(std::uint32_t value) {
    char buf[32];
    if (value & 0x80000000u)
        std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(value));
    else
        std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(value));
    return buf;
}

std::string UIntText(std::uint32_t value) {
    char buf[32];
    if (value & 0x80000000u)
        std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(value));
    else
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(value));
    return buf;
}

}  // namespace tulc
