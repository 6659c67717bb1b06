#include "apnn.h"

#include <cstdio>

#include "output.h"
#include "scanner.h"

namespace zbdd {

bool readFile(const std::string& path, std::string& text) {
    // A read error (a directory opens but cannot be read) counts as a file
    // that cannot be opened, not as an empty text.
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) return false;
    text.clear();
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) text.append(buf, n);
    const bool ok = !std::ferror(in);
    std::fclose(in);
    return ok;
}

namespace {

class ApnnParser {
public:
    ApnnParser(NetTables& tables, const std::string& text, const std::string& fileName)
        : tables_(tables),
          fileName_(fileName),
          scanner_(text, keywords(tables.dialect), true,
                   [this](int line, const std::string& msg) { lexicalError(line, msg); }) {}

    void parseNet() {
        advance();
        expectKeyword("\\beginnet");
        expect(Token::LBrace);
        expect(Token::Ident);
        expect(Token::RBrace);
        for (;;) {
            if (isKeyword("\\place")) {
                parsePlace();
            } else if (isKeyword("\\transition")) {
                parseTransition();
            } else if (isKeyword("\\arc")) {
                parseArc();
            } else {
                expectKeyword("\\endnet");
                break;
            }
        }
        if (tok_.kind != Token::End) syntaxError("parse error");
    }

private:
    static std::vector<std::string> keywords(Dialect d) {
        std::vector<std::string> k = {"\\beginnet", "\\endnet", "\\place", "\\transition", "\\arc",
                                      "\\name",     "\\init",   "\\capacity", "\\from",    "\\to",
                                      "\\weight",   "\\type"};
        if (d == Dialect::Cyrtal) {
            k.push_back("\\acc");
            k.push_back("\\ba");
        } else {
            k.push_back("\\partition");
        }
        return k;
    }

    [[noreturn]] void lexicalError(int line, const std::string& msg) {
        if (tables_.dialect == Dialect::Pelwick)
            throw Fatal(format("APNN: %s: Lexical error in line %d: ", fileName_.c_str(), line) + msg + "\n");
        throw Fatal(format("APNN: Lexical error in line %d: ", line) + msg + "\n");
    }
    [[noreturn]] void syntaxError(const std::string& msg) {
        if (tables_.dialect == Dialect::Pelwick)
            fatal("APNN: %s: Parser error in line %d, Error: %s (near `%s').\n", fileName_.c_str(), tok_.line,
                  msg.c_str(), tok_.text.c_str());
        fatal("APNN: %s: line %d, Error: %s (near `%s').\n", fileName_.c_str(), tok_.line, msg.c_str(),
              tok_.text.c_str());
    }

    void advance() {
        lastLine_ = tok_.line;
        tok_ = scanner_.next();
    }
    bool isKeyword(const char* k) const { return tok_.kind == Token::Keyword && tok_.text == k; }
    void expectKeyword(const char* k) {
        if (!isKeyword(k)) syntaxError("parse error");
        advance();
    }
    Token expect(Token::Kind kind) {
        if (tok_.kind != kind) syntaxError("parse error");
        Token t = tok_;
        advance();
        return t;
    }
    // '{' token '}'
    Token braced(Token::Kind kind) {
        expect(Token::LBrace);
        Token t = expect(kind);
        expect(Token::RBrace);
        return t;
    }

    void parsePlace() {
        ElementAttributes a;
        advance();
        a.id = braced(Token::Ident).text;
        a.hasId = true;
        expect(Token::LBrace);
        while (tok_.kind == Token::Keyword) {
            if (isKeyword("\\name")) {
                advance();
                a.name = braced(Token::Ident).text;
                a.hasName = true;
            } else if (isKeyword("\\init")) {
                advance();
                a.init = braced(Token::Number).value;
            } else if (isKeyword("\\capacity")) {
                advance();
                a.capacity = braced(Token::Number).value;
            } else if (isKeyword("\\acc") || isKeyword("\\partition")) {
                advance();
                a.accepting = braced(Token::Number).value;
            } else {
                break;
            }
        }
        expect(Token::RBrace);
        tables_.addPlace(a, lastLine_);
    }

    void parseTransition() {
        ElementAttributes a;
        advance();
        a.id = braced(Token::Ident).text;
        a.hasId = true;
        expect(Token::LBrace);
        expectKeyword("\\name");
        a.name = braced(Token::Ident).text;
        a.hasName = true;
        if (tables_.dialect == Dialect::Cyrtal && isKeyword("\\ba")) {
            advance();
            a.automaton = braced(Token::Number).value;
        }
        expect(Token::RBrace);
        tables_.addTransition(a, lastLine_);
    }

    void parseArc() {
        ElementAttributes a;
        advance();
        a.id = braced(Token::Ident).text;
        a.hasId = true;
        expect(Token::LBrace);
        while (tok_.kind == Token::Keyword) {
            if (isKeyword("\\from")) {
                advance();
                a.from = braced(Token::Ident).text;
                a.hasFrom = true;
            } else if (isKeyword("\\to")) {
                advance();
                a.to = braced(Token::Ident).text;
                a.hasTo = true;
            } else if (isKeyword("\\weight")) {
                advance();
                a.weight = braced(Token::Number).value;
            } else if (isKeyword("\\type")) {
                advance();
                expect(Token::LBrace);
                if (tables_.dialect == Dialect::Pelwick && tok_.kind == Token::Ident && tok_.text != "ordinary" &&
                    tok_.text != "readarc")
                    syntaxError("Only ordinary arcs or readarcs are supported!");
                a.type = expect(Token::Ident).text;
                expect(Token::RBrace);
            } else {
                break;
            }
        }
        expect(Token::RBrace);
        tables_.addArc(a, lastLine_);
    }

    NetTables& tables_;
    std::string fileName_;
    Scanner scanner_;
    Token tok_;
    int lastLine_ = 1;
};

}  // namespace

void buildNetTables(NetTables& tables, const std::string& text, const std::string& fileName) {
    ApnnParser parser(tables, text, fileName);
    parser.parseNet();
    if (tables.dialect != Dialect::Pelwick)
        message("(NrP %d NrT %d NrMP %d)\n\n", tables.nrP(), tables.nrT(), tables.markedPlaces);
}

}  // namespace zbdd
