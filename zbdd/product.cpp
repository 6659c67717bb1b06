#include "product.h"

#include <climits>

#include "output.h"
#include "scanner.h"

namespace zbdd {

namespace {

class BaParser {
public:
    BaParser(const std::string& text, const std::string& fileName, const NetTables& net)
        : fileName_(fileName),
          net_(net),
          scanner_(text, {"\\beginba", "\\endba", "\\node", "\\header", "\\aps", "\\apslist", "\\init", "\\acc",
                          "\\post"},
                   true, [this](int line, const std::string& msg) {
                       throw Fatal(format("BA: %s: Lexical error in line %d: ", fileName_.c_str(), line) + msg + "\n");
                   }) {}

    BuchiAutomaton parse() {
        advance();
        keyword("\\beginba");
        expect(Token::LBrace);
        ba_.identifier = expect(Token::Ident).text;
        expect(Token::RBrace);
        keyword("\\header");
        expect(Token::LBrace);
        ba_.nodes = nonNegative(expect(Token::Number));
        ba_.props = nonNegative(expect(Token::Number));
        expect(Token::RBrace);
        for (;;) {
            if (isKeyword("\\aps"))
                parseProposition();
            else if (isKeyword("\\node"))
                parseNode();
            else
                break;
        }
        keyword("\\endba");
        if (tok_.kind != Token::End) error("parse error");
        // Every literal needs its proposition's place.
        for (const auto& node : ba_.nodeList)
            for (const auto& literal : node.literals)
                if (ba_.propositions.count(literal.first) == 0)
                    fatal("BA: %s: proposition %d is used but has no \\aps entry\n", fileName_.c_str(),
                          literal.first);
        return std::move(ba_);
    }

private:
    [[noreturn]] void error(const std::string& msg) {
        fatal("BA: %s: Parser error in line %d, Error: %s (near `%s').\n", fileName_.c_str(), tok_.line,
              msg.c_str(), tok_.text.c_str());
    }
    void advance() { tok_ = scanner_.next(); }
    bool isKeyword(const char* k) const { return tok_.kind == Token::Keyword && tok_.text == k; }
    void keyword(const char* k) {
        if (!isKeyword(k)) error("parse error");
        advance();
    }
    Token expect(Token::Kind kind) {
        if (tok_.kind != kind) error("parse error");
        Token t = tok_;
        advance();
        return t;
    }
    int nonNegative(const Token& t) {
        if (t.value < 0) error("negative count in header");
        return t.value;
    }

    void parseProposition() {
        advance();
        expect(Token::LBrace);
        std::string name = expect(Token::Ident).text;
        expect(Token::RBrace);
        expect(Token::LBrace);
        if (tok_.kind == Token::Number && (tok_.value < 1 || tok_.value > ba_.props))
            error("proposition index out of range");
        int index = expect(Token::Number).value;
        expect(Token::RBrace);
        BuchiAutomaton::Proposition& p = ba_.propositions[index];
        p.name = name;
        p.place = net_.findPlaceByName(name);
        if (p.place < 0) fatal("net.cc: Place with name %s does not exist\n", name.c_str());
    }

    void parseNode() {
        if (static_cast<int>(ba_.nodeList.size()) >= ba_.nodes) error("more nodes than the header declares");
        advance();
        BuchiAutomaton::Node node;
        expect(Token::LBrace);
        node.name = expect(Token::Ident).text;
        expect(Token::RBrace);
        expect(Token::LBrace);
        for (;;) {
            if (isKeyword("\\init")) {
                advance();
                node.initial = true;
            } else if (isKeyword("\\acc")) {
                advance();
                expect(Token::LBrace);
                expect(Token::Number);
                expect(Token::RBrace);
                node.accepting = true;
            } else if (isKeyword("\\post")) {
                advance();
                expect(Token::LBrace);
                while (tok_.kind == Token::Number) {
                    if (tok_.value < 0 || tok_.value >= ba_.nodes) error("node index out of range");
                    node.successors.insert(tok_.value);
                    advance();
                }
                expect(Token::RBrace);
            } else if (isKeyword("\\apslist")) {
                advance();
                expect(Token::LBrace);
                while (tok_.kind == Token::Number) {
                    const int lit = tok_.value;
                    if (lit == 0) error("Error in apslist!");
                    const int index = lit < 0 ? -lit : lit;
                    if (lit == INT_MIN || index > ba_.props) error("proposition index out of range");
                    node.literals[index] = lit < 0 ? -1 : 1;
                    advance();
                }
                expect(Token::RBrace);
            } else {
                break;
            }
        }
        expect(Token::RBrace);
        ba_.nodeList.push_back(std::move(node));
    }

    std::string fileName_;
    const NetTables& net_;
    Scanner scanner_;
    Token tok_;
    BuchiAutomaton ba_;
};

// The place that tests a literal: the proposition's place or its complement.
int literalPlace(const BuchiAutomaton& ba, int prop, int lit) {
    const BuchiAutomaton::Proposition& p = ba.propositions.at(prop);
    return lit > 0 ? p.place : p.complement;
}

class ProductWriter {
public:
    ProductWriter(const NetTables& net, const BuchiAutomaton& ba, bool scheduler)
        : net_(net), ba_(ba), scheduler_(scheduler) {}

    std::string write() {
        out_ += ba_.withX() ? "\\beginnet{Buechinet_wX}\n\n" : "\\beginnet{Buechinet_oX}\n\n";
        for (auto p = net_.places.rbegin(); p != net_.places.rend(); ++p)
            out_ += format("\\place{%s}{\\name{%s} \\capacity{1} \\init{%d}}\n", p->id.c_str(), p->name.c_str(),
                           p->init);
        out_ += "\n";
        for (auto t = net_.transitions.rbegin(); t != net_.transitions.rend(); ++t)
            out_ += format("\\transition{%s}{\\name{%s}}\n", t->id.c_str(), t->name.c_str());
        out_ += "\n";
        int arcCounter = 0;
        for (auto p = net_.places.rbegin(); p != net_.places.rend(); ++p) {
            for (auto a = p->in.rbegin(); a != p->in.rend(); ++a)
                out_ += format("\\arc{A_%d}{\\from{%s} \\to{%s} \\weight{1} \\type{ordinary}}\n", arcCounter++,
                               net_.transitions[net_.arcs[*a].trans].id.c_str(), p->id.c_str());
            for (auto a = p->out.rbegin(); a != p->out.rend(); ++a)
                out_ += format("\\arc{A_%d}{\\from{%s} \\to{%s} \\weight{1} \\type{ordinary}}\n", arcCounter++,
                               p->id.c_str(), net_.transitions[net_.arcs[*a].trans].id.c_str());
        }
        out_ += "\n";
        writeAutomaton();
        return std::move(out_);
    }

private:
    void arc(const std::string& from, const std::string& to, const char* end) {
        out_ += format("\\arc{@A_%d@}{\\from{%s} \\to{%s} \\weight{1} \\type{ordinary}}\n", arcs_++, from.c_str(),
                       to.c_str());
        out_ += end;
    }
    std::string tName(int t) const { return format("@T_%d@", t); }
    std::string pName(int i) const { return format("@P_%d@", i); }

    void schedulerArcs(int t) {
        if (!scheduler_) return;
        arc("@SC_FBA@", tName(t), "");
        arc(tName(t), "@SC_PN@", "\n");
    }
    // Read arcs to the places of the node's literals, each place once.
    void literalArcs(int t, const BuchiAutomaton::Node& node, bool blankBefore) {
        std::vector<int> written;
        for (const auto& [prop, lit] : node.literals) {
            const int place = literalPlace(ba_, prop, lit);
            bool seen = false;
            for (int w : written) seen |= w == place;
            if (seen) continue;
            written.push_back(place);
            const std::string& id = net_.places[place].id;
            if (blankBefore) out_ += "\n";
            arc(tName(t), id, "");
            arc(id, tName(t), "");
        }
    }
    void transitionLine(int t) { out_ += format("\\transition{@T_%d@}{\\name{@T_%d@} \\ba{1}}\n\n", t, t); }

    void writeAutomaton() {
        out_ += "// Begin BA\n\n";
        out_ += "// Init Place\n\n";
        out_ += "\\place{@Q_0@}{\\name{@Q_0@} \\capacity{1} \\init{1}}\n\n";
        out_ += "// New Places\n\n";
        const auto& nodes = ba_.nodeList;
        for (std::size_t i = 0; i < nodes.size(); ++i)
            out_ += format("\\place{@P_%zu@}{\\name{%s} \\capacity{1} \\init{0}%s}\n", i, nodes[i].name.c_str(),
                           nodes[i].accepting ? " \\acc{1}" : "");
        out_ += "\n";
        out_ += "// Init Transitions\n\n";
        int t = 0;
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            if (!nodes[i].initial) continue;
            transitionLine(t);
            arc("@Q_0@", tName(t), "");
            arc(tName(t), pName(static_cast<int>(i)), "\n");
            schedulerArcs(t);
            literalArcs(t, nodes[i], false);
            ++t;
        }
        out_ += "\n";
        for (std::size_t i = 0; i < nodes.size(); ++i) {
            for (const int successor : nodes[i].successors) {
                // Indices below the header's count but without a node of
                // their own have no place to enter.
                if (static_cast<std::size_t>(successor) >= nodes.size()) break;
                const std::size_t j = static_cast<std::size_t>(successor);
                out_ += "// New Transition\n\n";
                transitionLine(t);
                arc(pName(static_cast<int>(i)), tName(t), "");
                arc(tName(t), pName(static_cast<int>(j)), "\n");
                schedulerArcs(t);
                literalArcs(t, nodes[j], true);
                out_ += "\n";
                ++t;
            }
        }
        out_ += "\\endnet\n";
    }

    const NetTables& net_;
    const BuchiAutomaton& ba_;
    bool scheduler_;
    std::string out_;
    int arcs_ = 0;
};

}  // namespace

BuchiAutomaton readAutomaton(const std::string& text, const std::string& fileName, const NetTables& net) {
    BaParser parser(text, fileName, net);
    return parser.parse();
}

std::string buildProduct(NetTables& net, BuchiAutomaton& ba, bool scheduler) {
    // Complementary places, in the order the literals ask for them.
    int counter = 0;
    for (const auto& node : ba.nodeList) {
        for (const auto& [index, lit] : node.literals) {
            BuchiAutomaton::Proposition& prop = ba.propositions.at(index);
            if (lit != -1 || prop.complement >= 0) continue;
            if (prop.place < 0) fatal("APNN: Place with name %s does not exist\n", prop.name.c_str());
            const Place original = net.places[prop.place];  // a copy: the place vector grows
            const int comp = net.addPlaceUnchecked(format("@N_%d@", counter++), "Neg_" + original.name,
                                                   original.init ? 0 : 1);
            prop.complement = comp;
            for (auto a = original.out.rbegin(); a != original.out.rend(); ++a)
                if (net.arcs[*a].flag == kOrdinaryArc) net.linkArc(comp, net.arcs[*a].trans, false);
            for (auto a = original.in.rbegin(); a != original.in.rend(); ++a)
                if (net.arcs[*a].flag == kOrdinaryArc) net.linkArc(comp, net.arcs[*a].trans, true);
        }
    }
    if (scheduler) {
        std::vector<char> visible(net.nrP(), 0);
        for (const auto& entry : ba.propositions) {
            const BuchiAutomaton::Proposition& prop = entry.second;
            if (prop.place >= 0) visible[prop.place] = 1;
            if (prop.complement >= 0) visible[prop.complement] = 1;
        }
        const int netTransitions = net.nrT();
        ElementAttributes fba, pn;
        fba.hasId = fba.hasName = true;
        fba.id = fba.name = "@SC_FBA@";
        fba.init = 1;
        pn.hasId = pn.hasName = true;
        pn.id = pn.name = "@SC_PN@";
        pn.init = 0;
        net.addPlace(fba, 666);
        net.addPlace(pn, 666);
        visible.resize(net.nrP(), 0);
        for (int t = 0; t < netTransitions; ++t) {
            bool touches = ba.withX();
            for (int a : net.transitions[t].pre)
                touches |= net.arcs[a].flag == kOrdinaryArc && visible[net.arcs[a].place];
            for (int a : net.transitions[t].post)
                touches |= net.arcs[a].flag == kOrdinaryArc && visible[net.arcs[a].place];
            if (!touches) continue;
            ElementAttributes toFba, fromPn;
            toFba.hasId = toFba.hasFrom = toFba.hasTo = true;
            toFba.id = "PN2SC_FBA";
            toFba.from = net.transitions[t].id;
            toFba.to = "@SC_FBA@";
            fromPn.hasId = fromPn.hasFrom = fromPn.hasTo = true;
            fromPn.id = "SC_PN2BA";
            fromPn.from = "@SC_PN@";
            fromPn.to = net.transitions[t].id;
            net.addArc(toFba, 666);
            net.addArc(fromPn, 666);
        }
    }
    ProductWriter writer(net, ba, scheduler);
    return writer.write();
}

}  // namespace zbdd
