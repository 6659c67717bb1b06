#include "ptnet.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "alloc.h"
#include "mark.h"
#include "encode.h"
#include "inst.h"
#include "plainnet.h"

namespace ptnet {

const Net* current = nullptr;

namespace {

void Word(std::string* out, std::uint32_t w) {
    for (int k = 0; k < 4; ++k)
        out->push_back(static_cast<char>((w >> (8 * k)) & 0xFF));
}

void Num(std::string* out, std::uint32_t v) {
    unsigned char bytes[8];
    unsigned char* end = NumPut(v, bytes);
    out->append(reinterpret_cast<char*>(bytes), static_cast<std::size_t>(end - bytes));
}

void Record(std::string* out, const std::string& bytes) {
    Word(out, static_cast<std::uint32_t>(bytes.size()));
    *out += bytes;
}

}  // namespace

Net FromTestNet(const testsupport::TestNet& tn, const std::vector<bool>& visible) {
    Net net;
    for (int p = 0; p < tn.places(); ++p) {
        Place place;
        place.name = tn.place_names[p];
        if (tn.m0[p] != 0)
            place.marking.push_back({0, static_cast<unsigned long>(tn.m0[p])});
        net.places.push_back(place);
    }
    for (int t = 0; t < tn.transitions(); ++t) {
        Transition tr;
        tr.name = tn.trans_names[t];
        for (std::size_t i = 0; i < tn.pre[t].size(); ++i)
            tr.in.push_back({tn.pre[t][i], static_cast<unsigned long>(tn.pre_w(t, i))});
        for (std::size_t i = 0; i < tn.post[t].size(); ++i)
            tr.out.push_back({tn.post[t][i], static_cast<unsigned long>(tn.post_w(t, i))});
        tr.visible = static_cast<std::size_t>(t) < visible.size() ? visible[t] : true;
        net.transitions.push_back(tr);
    }
    return net;
}

std::string DatBytes(const Net& net) {
    std::string file;
    Word(&file, 0);  // patched below
    Word(&file, net.tester >= 0 ? static_cast<std::uint32_t>(net.tester) : 0xFFFFFFFFu);
    Word(&file, net.classes);
    std::string profile;
    Num(&profile, static_cast<std::uint32_t>(net.places.size()));
    for (const Place& p : net.places)
        Num(&profile, p.arity);
    Record(&file, profile);
    std::string vars, fd;
    Num(&vars, static_cast<std::uint32_t>(net.transitions.size()));
    for (std::size_t t = 0; t < net.transitions.size(); ++t) {
        Num(&vars, 0);
        Num(&fd, 0);
    }
    Record(&file, vars);
    Record(&file, fd);
    for (std::size_t t = 0; t < net.transitions.size(); ++t)
        Word(&file, 0);
    for (std::size_t i = 0; i < net.places.size(); ++i) {
        const Place& p = net.places[i];
        std::vector<std::pair<std::int32_t, unsigned long>> entries = p.marking;
        std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return static_cast<std::uint32_t>(a.first) < static_cast<std::uint32_t>(b.first);
        });
        for (const auto& [value, count] : entries) {
            std::string rec;
            Num(&rec, static_cast<std::uint32_t>(i));
            if (p.arity == 0) {
                Num(&rec, static_cast<std::uint32_t>(count - 1));
            } else {
                Num(&rec, SgnCode(static_cast<DOMAIN>(value)));
                if (count != 1) {
                    rec.push_back(static_cast<char>(NUM_COUNT));
                    Num(&rec, static_cast<std::uint32_t>(count - 2));
                }
            }
            Record(&file, rec);
        }
    }
    Word(&file, 0xFFFFFFFFu);
    if (net.tester >= 0) {
        std::vector<std::pair<std::int32_t, unsigned>> values(net.testerBits.begin(), net.testerBits.end());
        std::sort(values.begin(), values.end(), [](const auto& a, const auto& b) {
            return static_cast<std::uint32_t>(a.first) < static_cast<std::uint32_t>(b.first);
        });
        for (const auto& [value, bits] : values) {
            std::string rec;
            Num(&rec, SgnCode(static_cast<DOMAIN>(value)));
            Num(&rec, bits);
            Record(&file, rec);
        }
        Word(&file, 0xFFFFFFFFu);
        Word(&file, static_cast<std::uint32_t>(net.buchi.size()));
        for (const auto& next : net.buchi) {
            std::string rec;
            Num(&rec, static_cast<std::uint32_t>(next.size()));
            for (std::int32_t q : next)
                Num(&rec, SgnCode(static_cast<DOMAIN>(q)));
            Record(&file, rec);
        }
        for (std::size_t k = 1; k < net.buchi.size(); ++k)
            Word(&file, 0);
    }
    std::uint32_t namesAt = static_cast<std::uint32_t>(file.size());
    for (const Transition& t : net.transitions)
        Record(&file, t.name);
    Word(&file, 0);  // no enumeration constants
    for (unsigned c = 1; c < net.classes; ++c)
        Record(&file, "class" + std::to_string(c));
    for (const Place& p : net.places)
        Record(&file, p.name);
    for (int k = 0; k < 4; ++k)
        file[k] = static_cast<char>((namesAt >> (8 * k)) & 0xFF);
    return file;
}

std::string ToText(const Net& net) {
    std::ostringstream out;
    out << "classes " << net.classes << "\n";
    for (const auto& [low, high] : net.prec)
        out << "prec " << low << " " << high << "\n";
    for (const Place& p : net.places)
        out << "place " << p.arity << "\n";
    out << "tester " << net.tester << "\n";
    for (std::size_t q = 0; q < net.require.size(); ++q)
        for (const auto& [place, marked] : net.require[q])
            out << "require " << q << " " << place << " " << (marked ? 1 : 0) << "\n";
    for (const Transition& t : net.transitions) {
        out << "trans " << t.cls << " " << (t.visible ? 1 : 0) << "\n";
        if (t.kind != 0)
            out << "kind " << t.kind << "\n";
        for (std::int32_t v : t.values)
            out << "value " << v << "\n";
        for (const Arc& a : t.in)
            out << "in " << a.place << " " << a.weight << " " << a.value << "\n";
        for (const Arc& a : t.out)
            out << "out " << a.place << " " << a.weight << " " << a.value << "\n";
    }
    return out.str();
}

Net FromText(const std::string& text) {
    Net net;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word == "classes") {
            in >> net.classes;
        } else if (word == "prec") {
            unsigned low = 0, high = 0;
            in >> low >> high;
            net.prec.push_back({low, high});
        } else if (word == "place") {
            Place p;
            in >> p.arity;
            net.places.push_back(p);
        } else if (word == "trans") {
            Transition t;
            int visible = 1;
            in >> t.cls >> visible;
            t.visible = visible != 0;
            net.transitions.push_back(t);
        } else if (word == "tester") {
            in >> net.tester;
        } else if (word == "require") {
            std::size_t q = 0;
            int place = 0, marked = 0;
            in >> q >> place >> marked;
            if (net.require.size() <= q)
                net.require.resize(q + 1);
            net.require[q].push_back({place, marked != 0});
        } else if (word == "kind") {
            in >> net.transitions.back().kind;
        } else if (word == "value") {
            std::int32_t v = 0;
            in >> v;
            net.transitions.back().values.push_back(v);
        } else if (word == "in" || word == "out") {
            Arc a{};
            in >> a.place >> a.weight >> a.value;
            (word == "in" ? net.transitions.back().in : net.transitions.back().out).push_back(a);
        }
    }
    return net;
}

bool Write(const Net& net, const std::string& base, bool withDat) {
    return (!withDat || testsupport::write_file(base + ".dat", DatBytes(net))) &&
           testsupport::write_file(base + ".arcs", ToText(net));
}

}  // namespace ptnet

namespace {

const ptnet::Net& Description() {
    static ptnet::Net loaded;
    if (ptnet::current != nullptr)
        return *ptnet::current;
    const char* file = std::getenv("PTNET_ARCS");
    if (file == nullptr) {
        std::fputs("\nPTNET_ARCS names no net description\n", _err);
        Exit(6);
    }
    loaded = ptnet::FromText(testsupport::read_file(file));
    return loaded;
}

void AddArcs(TRN* trn, const ptnet::Net& net, const std::vector<ptnet::Arc>& arcs, bool input) {
    for (const ptnet::Arc& a : arcs) {
        TUPLE* tuple = TupCons(net.places[a.place].arity);
        if (tuple->_arity == 1)
            tuple->_array[0] = static_cast<DOMAIN>(a.value);
        if (input)
            PutInArc(trn, a.weight, static_cast<unsigned>(a.place), tuple);
        else
            PutOutArc(trn, a.weight, static_cast<unsigned>(a.place), tuple);
        TupDiscard(tuple);
    }
}

unsigned lowClass = 0, highClass = 0;

// What the generated precedence test of a class does for one of its
// transitions and one higher class.
int Precede(void* element) {
    SetLowTrn(static_cast<TRN*>(element));
    SetHiClass(highClass);
    BalTrApply(TrnAvlset(highClass), TrnPrec);
    if (Lower(highClass))
        SetHigher(lowClass);
    return 0;
}

}  // namespace

// Every place of arity 0 gets its instance, so that place i has slot i.
extern "C" void _CompInst(void) {
    const ptnet::Net& net = Description();
    TUPLE* empty = TupCons(0);
    for (std::size_t p = 0; p < net.places.size(); ++p)
        if (net.places[p].arity == 0) {
            TupEncode(static_cast<int>(p), empty, &_engBuffer, &_engBfSize);
            GetPlc(_engBuffer);
        }
    TupDiscard(empty);
    for (std::size_t t = 0; t < net.transitions.size(); ++t) {
        const ptnet::Transition& tr = net.transitions[t];
        std::vector<DOMAIN> values(tr.values.begin(), tr.values.end());
        InsEncode(static_cast<int>(t), tr.cls, values.empty() ? nullptr : values.data(), &_engBuffer, &_engBfSize);
        TRN* trn = GetTrn(tr.cls, _engBuffer, &_new);
        if (!_new)
            continue;
        if (tr.visible)
            TrnSVisible(trn);
        if (tr.kind == 1)
            TrnSInitial(trn);
        if (tr.kind == 2)
            TrnSDummy(trn);
        AddArcs(trn, net, tr.in, true);
        AddArcs(trn, net, tr.out, false);
        TrnReform(trn);
    }
}

extern "C" void _CompPrec(void) {
    const ptnet::Net& net = Description();
    for (const auto& [low, high] : net.prec) {
        lowClass = low;
        highClass = high;
        BalTrApply(TrnAvlset(low), Precede);
    }
}

// The requirements of the automaton state that the tester place of
// _evalState holds.
extern "C" BOOL _BuchiOK(void) {
    const ptnet::Net& net = Description();
    if (net.tester < 0 || LstEmpty(_evalState[net.tester]))
        return TRUE;
    auto* token = static_cast<MULTUP*>(_evalState[net.tester]->_first->_node);
    DOMAIN q = token->_tuple->_array[0];
    if (q < 1 || static_cast<std::size_t>(q) > net.require.size())
        return TRUE;
    for (const auto& [place, marked] : net.require[static_cast<std::size_t>(q) - 1])
        if (LstEmpty(_evalState[place]) == marked)
            return FALSE;
    return TRUE;
}

// What the generated successor function does for a net of arity-0 places:
// every enabled transition's successor of _state, stored with its arrow.
extern "C" void _Followers(void) {
    const ptnet::Net& net = Description();
    std::size_t places = net.places.size();
    std::vector<unsigned long> counts(places, 0);
    for (std::size_t p = 0; p < places; ++p) {
        if (net.places[p].arity != 0) {
            std::fputs("\nThe test's successor function knows places of arity 0 only\n", _err);
            Exit(6);
        }
        if (!LstEmpty(_state[p]))
            counts[p] = static_cast<MULTUP*>(_state[p]->_first->_node)->_count;
    }
    for (std::size_t t = 0; t < net.transitions.size(); ++t) {
        const ptnet::Transition& tr = net.transitions[t];
        std::vector<unsigned long> next = counts;
        bool enabled = true;
        for (const ptnet::Arc& a : tr.in) {
            enabled = enabled && next[a.place] >= a.weight;
            next[a.place] -= enabled ? a.weight : 0;
        }
        if (!enabled)
            continue;
        for (const ptnet::Arc& a : tr.out)
            next[a.place] += a.weight;
        _folState = static_cast<STATE*>(Etacolla(places * sizeof(MARKING*)));
        for (std::size_t p = 0; p < places; ++p) {
            _folState[p] = LstCreate(&multupTools);
            if (next[p] != 0)
                LstInsLast(_folState[p], MultupCons(next[p], TupCons(0)));
        }
        unsigned length = static_cast<unsigned>(StaEncode(_folState, &_engBuffer, &_engBfSize));
        StaDiscard(_folState);
        _folState = nullptr;
        _ndAddr = GphPutNode(_graph[0], _engBuffer, length, &_back);
        length = static_cast<unsigned>(InsEncode(static_cast<int>(t), tr.cls, nullptr, &_engBuffer, &_engBfSize));
        _awAddr = GphPutArrow(_graph[0], _engBuffer, length, _awCount, PthEnd(nowPath), _ndAddr, _awFirst, _back,
                              !tr.visible);
        if (_awCount == 0 || _freeExpansion) {
            _awFirst = _awAddr;
            _ndFirst = _ndAddr;
        }
        _awCount++;
    }
}
