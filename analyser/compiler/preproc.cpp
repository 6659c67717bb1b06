#include "preproc.h"

#include <utility>

#include "diag.h"
#include "macros.h"
#include "net.h"
#include "records.h"
#include "statements.h"

namespace tulc {

namespace {

// A call whose name came out of this many nested expansions is taken for
// an endless expansion.  Bodies cannot name themselves (the cycle check) and
// arguments are expanded before they are substituted, so real nets stay far
// below it.
constexpr std::uint32_t kMaxExpansionDepth = 65536;

// Token collections nest: a macro call inside the argument of another, a
// control line inside a statement text or a macro argument.  Each level
// takes room on the stack, so the nesting is bounded.
constexpr std::uint32_t kMaxCollectionDepth = 256;

struct CondRecord {
    std::string file;
    std::string word;
    std::uint32_t line;
};

struct Preproc {
    std::FILE* def = nullptr;
    std::FILE* enumHeader = nullptr;
    std::FILE* header = nullptr;
    bool lineDirectives = false;

    std::vector<CondRecord> conds;
    bool skip = false;
    bool inTransition = false;

    std::uint32_t enumCounter = 0xFFFFFFFFu;
    bool enumExhausted = false;
    bool enumOverflowReported = false;

    // Output position of _.h: the input file and line that the next output
    // line stands for.
    std::string outFile;
    std::uint32_t outLine = 1;
    bool atLineStart = true;
    std::uint32_t lineCount = 0;
    bool syncOn = false;  // a macro call or a control line has been read
    std::uint32_t collectionDepth = 0;
};

Preproc& P() {
    static Preproc p;
    return p;
}

void PutHeader(char c) {
    auto& p = P();
    std::fputc(c, p.header);
    if (c == '\n') {
        ++p.lineCount;
        ++p.outLine;
        p.atLineStart = true;
    } else {
        p.atLineStart = false;
    }
}

std::string DoubledBackslashes(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += c;
        if (c == '\\') out += c;
    }
    return out;
}

void LineMark(std::uint32_t line) {
    auto& p = P();
    if (p.lineDirectives) {
        if (!p.atLineStart) PutHeader('\n');
        std::string mark = "#line " + std::to_string(line) + " \"" + DoubledBackslashes(ppio_file_name()) + "\"\n";
        std::fputs(mark.c_str(), p.header);
        ++p.lineCount;
        p.atLineStart = true;
    }
    p.outFile = ppio_file_name();
    p.outLine = line;
}

// Brings the output position level with input line inLine before an output
// line: a few newlines when the output is a little behind in the same file,
// else a line mark.
void Sync(std::uint32_t inLine) {
    auto& p = P();
    if (!ppio_has_file()) return;
    const std::string& file = ppio_file_name();
    if (file == p.outFile && inLine >= p.outLine && inLine - p.outLine <= file.size() + 40) {
        while (p.outLine < inLine) PutHeader('\n');
        return;
    }
    LineMark(inLine);
}

// Writes a token of C text.  At the start of an output line the position is
// synchronised with the input line where the token begins (the tokenizer has
// read up to its end).
void WriteToken(const Token& t) {
    auto& p = P();
    if (t.text.empty()) return;
    if (p.atLineStart && (p.syncOn || ppio_comment_seen())) {
        std::uint32_t newlines = 0;
        for (char c : t.text) newlines += c == '\n';
        std::uint32_t line = ppio_line();
        Sync(line > newlines ? line - newlines : 1);
    }
    for (char c : t.text) PutHeader(c);
}

bool IsOpener(TokenKind k, TokenKind* closer) {
    switch (k) {
    case TK_OPEN_BRACE: *closer = TK_CLOSE_BRACE; return true;
    case TK_OPEN_BRACKET: *closer = TK_CLOSE_BRACKET; return true;
    case TK_OPEN_PAREN: *closer = TK_CLOSE_PAREN; return true;
    case TK_TUPLE_OPEN: *closer = TK_TUPLE_CLOSE; return true;
    default: return false;
    }
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Raw tokens (no expansion), skipping white space and comments.
std::optional<Token> RawNonWhite() {
    for (;;) {
        auto t = get_token();
        if (!t || (t->kind != TK_WHITE && t->kind != TK_COMMENT)) return t;
    }
}

// The raw tokens up to the end of the line; the newline stays unread.
std::vector<Token> RawLine() {
    std::vector<Token> line;
    while (auto t = get_token()) {
        if (t->kind == TK_NEWLINE) {
            unget_token(*t);
            break;
        }
        line.push_back(std::move(*t));
    }
    return line;
}

// Drops raw tokens up to and including the newline.
void DropLine() {
    while (auto t = get_token())
        if (t->kind == TK_NEWLINE) return;
}

void RestOfLineCheck() {
    for (;;) {
        auto t = get_token();
        if (!t) ReportFatal("Unexpected end of file");
        if (t->kind == TK_WHITE || t->kind == TK_COMMENT) continue;
        if (t->kind == TK_NEWLINE) return;
        ReportWarning("Ignoring rest of line while looking at token " + Quoted(t->text));
        DropLine();
        return;
    }
}

void MacroCall(Macro* m, const Token& nameTok);

// Replaces a name by its macro expansion, #enum value or class number.
bool ExpandName(const Token& t, bool hexEnums, bool macrosOnly = false) {
    if (t.kind != TK_NAME) return false;
    if (Macro* m = MacroLookup(t.text)) {
        MacroCall(m, t);
        return true;
    }
    if (macrosOnly) return false;
    auto& net = Net();
    auto e = net.enumValues.find(t.text);
    if (e != net.enumValues.end()) {
        ppio_unget_number(e->second, hexEnums);
        return true;
    }
    auto c = net.classNumbers.find(t.text);
    if (c != net.classNumbers.end()) {
        ppio_unget_unsigned(c->second);
        return true;
    }
    return false;
}

void ControlLine();
void SkipGroup(bool everything);

void ControlLineAndSkip() {
    ControlLine();
    if (P().skip) SkipGroup(false);
}

// Collects one macro argument (or the rest of the call) up to "," or ")".
bool CollectArgument(std::vector<Token>& out, Token* stop) {
    return CollectTokens(out, {TK_COMMA, TK_CLOSE_PAREN}, false, false, stop);
}

void MacroCall(Macro* m, const Token& nameTok) {
    auto& p = P();
    p.syncOn = true;
    const std::uint32_t depth = nameTok.depth + 1;
    if (depth > kMaxExpansionDepth) ReportFatal("macro " + m->name + ":\nexpansion does not end");
    if (m->paramCount < 0) {
        ppio_unget_expansion(MacroExpansion(*m, {}), depth);
        return;
    }
    std::optional<Token> t;
    do t = get_token();
    while (t && IsLayout(*t));
    if (!t) ReportFatal("macro " + m->name + ":\nend of file when expecting \"(\"");
    if (t->kind != TK_OPEN_PAREN) {
        ReportError("macro " + m->name + ":\nexpected \"(\", got " + Quoted(t->text));
        return;
    }
    ++m->expanding;
    ppio_enter_control_line();
    std::vector<std::vector<Token>> args;
    bool sawComma = false;
    bool dropped = false;
    for (;;) {
        std::vector<Token> arg;
        Token stop;
        if (!CollectArgument(arg, &stop)) {
            bool last = static_cast<int>(args.size()) + 1 >= m->paramCount;
            ReportFatal("macro " + m->name + ":\nend of file when expecting \"" + (last ? ")" : ",") + "\"");
        }
        if (stop.kind == TK_COMMA) {
            if (static_cast<int>(args.size()) + 1 < m->paramCount) {
                args.push_back(std::move(arg));
                sawComma = true;
                continue;
            }
            ReportError("macro " + m->name + ":\nexpected \")\", got \",\"");
            dropped = true;
            break;
        }
        bool blank = true;
        for (const Token& a : arg)
            if (a.kind != TK_WHITE && a.kind != TK_NEWLINE) blank = false;
        if (sawComma || !blank) args.push_back(std::move(arg));
        break;
    }
    --m->expanding;
    ppio_leave_control_line();
    if (dropped) return;
    if (static_cast<int>(args.size()) != m->paramCount) {
        ReportError(Format("macro %s:\nexpected %d arguments, got %d", m->name.c_str(), m->paramCount,
                           static_cast<int>(args.size())));
        return;
    }
    ppio_unget_expansion(MacroExpansion(*m, args), depth);
}

// #define NAME, #define NAME(P1,...,Pn) body.
void DefineDirective(std::vector<Token> line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i].kind == TK_WHITE || line[i].kind == TK_COMMENT)) ++i;
    if (i == line.size()) {
        ReportError("#define: expected name, got nothing");
        return;
    }
    if (line[i].kind != TK_NAME) {
        ReportError("#define: expected name, got " + Quoted(line[i].text));
        return;
    }
    const std::string name = line[i++].text;
    if (MacroLookup(name)) {
        ReportError(name + " already defined");
        return;
    }
    std::vector<std::string> params;
    bool hasParams = false;
    std::vector<Token> body;
    if (i < line.size() && line[i].kind == TK_OPEN_PAREN) {
        hasParams = true;
        ++i;
        auto skipWhite = [&] {
            while (i < line.size() && (line[i].kind == TK_WHITE || line[i].kind == TK_COMMENT)) ++i;
        };
        skipWhite();
        if (i < line.size() && line[i].kind == TK_CLOSE_PAREN) {
            ++i;
        } else {
            for (;;) {
                skipWhite();
                if (i == line.size()) {
                    ReportError("Macro argument list: Premature eof.");
                    return;
                }
                if (line[i].kind != TK_NAME) {
                    ReportError("Definition of " + name + ": parameter " + line[i].text + " is no name");
                    return;
                }
                for (const auto& q : params)
                    if (q == line[i].text) {
                        ReportError("Definition of " + name + ": parameter " + line[i].text + " is ambiguous");
                        return;
                    }
                params.push_back(line[i++].text);
                skipWhite();
                if (i == line.size()) {
                    ReportError("Macro argument list: Premature eof.");
                    return;
                }
                if (line[i].kind == TK_COMMA) {
                    ++i;
                    continue;
                }
                if (line[i].kind == TK_CLOSE_PAREN) {
                    ++i;
                    break;
                }
                if (line[i].kind == TK_NAME) {
                    ReportWarning("Macro argument list: Missing comma inserted before " + line[i].text);
                    continue;
                }
                ReportError("Macro argument list: Expected \",\", got " + Quoted(line[i].text));
                return;
            }
        }
        body.assign(line.begin() + static_cast<std::ptrdiff_t>(i), line.end());
    } else if (i < line.size()) {
        if (line[i].kind != TK_WHITE && line[i].kind != TK_COMMENT) {
            ReportError("Expected space or comment or opening parenthesis to follow, got\n" + Quoted(line[i].text));
            return;
        }
        body.assign(line.begin() + static_cast<std::ptrdiff_t>(i), line.end());
        body.front().text.erase(0, 1);
    }
    if (!MacroCreate(name, hasParams ? &params : nullptr, body)) return;
    std::string text = "#define " + name;
    if (!hasParams) {
        text += " ";
    } else {
        text += "(";
        for (std::size_t k = 0; k < params.size(); ++k) text += (k ? "," : "") + params[k];
        text += ")";
    }
    for (const Token& b : body) text += b.text;
    text += "\n";
    std::fputs(text.c_str(), P().def);
}

void UndefDirective(const std::vector<Token>& line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i].kind == TK_WHITE || line[i].kind == TK_COMMENT)) ++i;
    if (i == line.size() || line[i].kind != TK_NAME) {
        ReportError("#undef: expected name, got " + Quoted(i == line.size() ? "" : line[i].text));
        return;
    }
    const std::string& name = line[i].text;
    Macro* m = MacroLookup(name);
    if (!m) {
        ReportError(name + ": no such definition");
    } else if (m->expanding > 0) {
        ReportError(name + " is under expansion\nand thus cannot be undefined");
    } else {
        MacroDelete(name);
        std::fputs(("#undef " + name + "\n").c_str(), P().def);
    }
    for (++i; i < line.size(); ++i)
        if (line[i].kind != TK_WHITE && line[i].kind != TK_COMMENT) ReportWarning("#undef: Ignoring " + line[i].text);
}

void EnumDirective(const std::vector<Token>& line) {
    auto& p = P();
    auto& net = Net();
    std::size_t i = 0;
    auto skipWhite = [&] {
        while (i < line.size() && (line[i].kind == TK_WHITE || line[i].kind == TK_COMMENT)) ++i;
    };
    for (;;) {
        skipWhite();
        if (i == line.size() || line[i].kind != TK_NAME) {
            ReportError("Expected name, got " + Quoted(i == line.size() ? "nothing" : line[i].text) + ".");
            return;
        }
        const std::string& name = line[i++].text;
        if (net.enumValues.count(name)) {
            ReportError("#enum: " + name + " redefined");
        } else if (p.enumExhausted) {
            if (!p.enumOverflowReported) ReportError("#enum: overflow, too many");
            p.enumOverflowReported = true;
        } else {
            const std::uint32_t value = p.enumCounter;
            std::fputs(("#define " + name + " " + ULongText(value) + "\n").c_str(), p.enumHeader);
            net.enumValues[name] = value;
            net.enumNames.push_back(name);
            if (value == 0)
                p.enumExhausted = true;
            else
                --p.enumCounter;
        }
        skipWhite();
        if (i == line.size()) return;
        if (line[i].kind != TK_COMMA) {
            ReportError("Expected \",\", got " + Quoted(line[i].text) + ".");
            return;
        }
        ++i;
    }
}

// #include: the rest of the line with expansion; opens the file.  Returns
// with the line consumed (the new file is the input then).
void IncludeDirective() {
    std::vector<Token> line;
    Token stop;
    if (!CollectTokens(line, {TK_NEWLINE}, true, false, &stop))
        ReportWarning("Preprocessor statement without newline.");
    else if (stop.kind != TK_NEWLINE)
        ReportError("Possible internal problem: read_line terminates, but not in newline.");
    std::size_t i = 0;
    while (i < line.size() && (line[i].kind == TK_WHITE || line[i].kind == TK_COMMENT)) ++i;
    if (i == line.size()) {
        ReportError("#include requires a file.");
        return;
    }
    if (line[i].kind == TK_STRING) {
        const std::string& s = line[i].text;
        ppio_push_file(s.size() >= 2 ? s.substr(1, s.size() - 2) : std::string(), 0);
    } else if (line[i].kind == TK_LESS) {
        std::string name;
        bool closed = false;
        for (++i; i < line.size(); ++i) {
            if (line[i].kind == TK_GREATER) {
                closed = true;
                break;
            }
            name += line[i].text;
        }
        if (!closed) {
            ReportError("#include: unexpected end-of-file.");
            return;
        }
        ppio_push_file(name, 1);
    } else {
        ReportError("#include: Expected <file> or \"file\", got " + Quoted(line[i].text));
        return;
    }
    PassLineMark();
}

void IfDirective(const std::string& file, std::uint32_t line) {
    auto& p = P();
    p.conds.push_back({file, "if", line});
    std::vector<Token> tokens;
    Token stop;
    if (!CollectTokens(tokens, {TK_NEWLINE}, true, false, &stop)) ExpectationReport("End of line in #if", std::nullopt);
    unget_token(stop);
    std::uint32_t value = 0;
    int failed = ReadStatementText(nullptr, "", Clause::kMk, false, &tokens, &value);
    p.skip = failed != 0 || value == 0;
}

void IfdefDirective(int code, const std::string& file, std::uint32_t lineNo) {
    auto& p = P();
    const std::string word = code == KW_IFDEF ? "ifdef" : "ifndef";
    std::vector<Token> line = RawLine();
    std::size_t i = 0;
    while (i < line.size() && (line[i].kind == TK_WHITE || line[i].kind == TK_COMMENT)) ++i;
    bool defined;
    if (i == line.size() || line[i].kind != TK_NAME) {
        ReportError("#ifdef: Expected name, got " + Quoted(i == line.size() ? "" : line[i].text));
        defined = false;  // #ifdef skips, #ifndef does not
    } else {
        defined = MacroLookup(line[i].text) != nullptr;
    }
    p.conds.push_back({file, word, lineNo});
    p.skip = code == KW_IFDEF ? !defined : defined;
}

// #trans inside #trans: skip to the next "#endtr".
void RecoverNestedTrans() {
    ReportError("#trans follows #trans without #endtr between them");
    ReportWarning("skipping to next #endtr");
    for (;;) {
        auto t = get_token();
        if (!t) ReportFatal("#trans failed, could not find #endtr when trying to recover");
        if (t->kind != TK_HASH) continue;
        auto w = RawNonWhite();
        if (!w) ReportFatal("#trans failed, could not find #endtr when trying to recover");
        if (w->kind == TK_NAME && w->text == "endtr") return;
        unget_token(*w);
    }
}

void ControlLine() {
    auto& p = P();
    p.syncOn = true;
    ppio_enter_control_line();
    auto w = RawNonWhite();
    if (!w) ReportFatal("Unexpected end of file");
    if (w->kind == TK_NEWLINE) {
        ppio_leave_control_line();
        return;
    }
    const std::string file = ppio_file_name();
    const std::uint32_t line = ppio_line();
    const int code = w->kind == TK_NAME ? KeywordCode(w->text) : KW_NONE;
    bool checkRest = true;
    switch (code) {
    case KW_DEFINE: DefineDirective(RawLine()); break;
    case KW_UNDEF: UndefDirective(RawLine()); break;
    case KW_IF: IfDirective(file, line); break;
    case KW_IFDEF:
    case KW_IFNDEF: IfdefDirective(code, file, line); break;
    case KW_ELSE:
        if (p.conds.empty())
            ReportError("Orphan #else?");
        else
            p.skip = !p.skip;
        RawLine();
        break;
    case KW_ENDIF:
        if (p.conds.empty()) {
            ReportError("Orphan #endif?");
        } else {
            p.conds.pop_back();
        }
        RawLine();
        break;
    case KW_INCLUDE:
        IncludeDirective();
        checkRest = false;
        break;
    case KW_ENUM: EnumDirective(RawLine()); break;
    case KW_PREC: PrecStatement(); break;
    case KW_PLACE: PlaceStatement(); break;
    case KW_TRANS:
        if (p.inTransition)
            RecoverNestedTrans();
        else
            TransStatement();
        break;
    case KW_ENDTR: ReportError("Orphan #endtr"); break;
    case KW_TESTER: TesterStatement(); break;
    case KW_VERIFY: VerifyStatement(); break;
    default:
        RawLine();
        ReportError("Ignoring unknown control " + w->text);
        break;
    }
    if (checkRest) RestOfLineCheck();
    ppio_leave_control_line();
}

// Skips a group: "until control" stops at the #else or #endif of the group,
// "everything" at its #endif; nested conditionals are skipped whole.
void SkipGroup(bool everything) {
    auto& p = P();
    struct Level {
        std::string file;
        std::uint32_t line;
        bool everything;
    };
    std::vector<Level> levels;
    auto here = [&](bool all) {
        if (ppio_has_file()) return Level{ppio_file_name(), ppio_line(), all};
        return Level{"<Unknown?>", 1, all};
    };
    levels.push_back(here(everything));
    ppio_enter_control_line();
    // The rest of an #else or #endif line: a token there is warned about.
    auto restWarning = [&] {
        for (;;) {
            auto t = get_token();
            if (!t || t->kind == TK_NEWLINE) return;
            if (t->kind == TK_WHITE || t->kind == TK_COMMENT) continue;
            ReportWarning("Ignoring rest of line while looking at token " + Quoted(t->text));
            DropLine();
            return;
        }
    };
    while (!levels.empty()) {
        auto t = RawNonWhite();
        if (!t) {
            while (!levels.empty()) {
                ReportError("Endless #if, starts in " + levels.back().file + " at line " +
                            std::to_string(levels.back().line));
                if (!p.conds.empty()) p.conds.pop_back();
                levels.pop_back();
            }
            break;
        }
        if (t->kind == TK_NEWLINE) continue;
        if (t->kind != TK_HASH) {
            DropLine();
            continue;
        }
        auto w = RawNonWhite();
        if (!w) continue;
        if (w->kind == TK_NEWLINE) continue;
        const int code = w->kind == TK_NAME ? KeywordCode(w->text) : KW_NONE;
        if (code == KW_IF || code == KW_IFDEF || code == KW_IFNDEF) {
            p.conds.push_back({ppio_file_name(), w->text, ppio_line()});
            DropLine();
            levels.push_back(here(true));
        } else if (code == KW_ELSE) {
            restWarning();
            if (levels.size() == 1 && !levels.back().everything) levels.pop_back();
        } else if (code == KW_ENDIF) {
            restWarning();
            if (p.conds.empty())
                ReportError("Internal: Orphan #endif");
            else
                p.conds.pop_back();
            levels.pop_back();
        } else {
            DropLine();
        }
    }
    p.skip = false;
    ppio_leave_control_line();
}

}  // namespace

void PreprocInit(std::FILE* def, std::FILE* enumHeader, std::FILE* header, bool lineDirectives) {
    auto& p = P();
    p = Preproc();
    p.def = def;
    p.enumHeader = enumHeader;
    p.header = header;
    p.lineDirectives = lineDirectives;
    MacroTableInit();
}

void StatementLoop() {
    auto& p = P();
    while (auto t = get_token()) {
        if (t->kind == TK_NAME && ExpandName(*t, true)) continue;
        if (t->kind == TK_HASH) {
            ControlLineAndSkip();
            continue;
        }
        WriteToken(*t);
    }
    for (const auto& c : p.conds)
        ReportError("Unpaired " + c.word + " starts in " + c.file + " at line " + std::to_string(c.line));
    p.conds.clear();
}

void PassLineMark() {
    if (!ppio_has_file() || !P().header) return;
    LineMark(ppio_line());
}

std::uint32_t HeaderLineCount() { return P().lineCount; }
void AddHeaderLines(std::uint32_t n) { P().lineCount += n; }

std::optional<Token> NextToken(bool hexEnums) {
    for (;;) {
        auto t = get_token();
        if (!t) return t;
        if (t->kind == TK_NAME && ExpandName(*t, hexEnums)) continue;
        return t;
    }
}

std::optional<Token> NextNonWhite() {
    for (;;) {
        auto t = NextToken();
        if (!t || (t->kind != TK_WHITE && t->kind != TK_COMMENT)) return t;
    }
}

std::optional<Token> NextNonLayout() {
    for (;;) {
        auto t = NextToken();
        if (!t || !IsLayout(*t)) return t;
    }
}

std::optional<Token> NextNonWhiteMacrosOnly() {
    for (;;) {
        auto t = get_token();
        if (!t) return t;
        if (t->kind == TK_NAME && ExpandName(*t, false, true)) continue;
        if (t->kind == TK_WHITE || t->kind == TK_COMMENT) continue;
        return t;
    }
}

bool CollectTokens(std::vector<Token>& out, std::initializer_list<TokenKind> stops, bool lineBound,
                   bool hexEnums, Token* stop) {
    struct Level {
        std::uint32_t& depth;
        explicit Level(std::uint32_t& d) : depth(d) {
            if (++depth > kMaxCollectionDepth)
                ReportFatal("Macro calls and control lines nested more than " + std::to_string(kMaxCollectionDepth) +
                            " deep");
        }
        ~Level() { --depth; }
    } level(P().collectionDepth);
    std::vector<TokenKind> closers;
    for (;;) {
        auto t = get_token();
        if (!t) return false;
        if (t->kind == TK_NAME && ExpandName(*t, hexEnums)) continue;
        if (t->kind == TK_HASH) {
            ControlLineAndSkip();
            continue;
        }
        if (lineBound && t->kind == TK_NEWLINE) {
            *stop = std::move(*t);
            return true;
        }
        if (closers.empty()) {
            bool isStop = false;
            for (TokenKind k : stops) isStop = isStop || k == t->kind;
            if (isStop) {
                *stop = std::move(*t);
                return true;
            }
        }
        TokenKind closer;
        if (IsOpener(t->kind, &closer))
            closers.push_back(closer);
        else if (!closers.empty() && t->kind == closers.back())
            closers.pop_back();
        out.push_back(std::move(*t));
    }
}

void ExpectationReport(const std::string& expectation, const std::optional<Token>& got) {
    if (!got) ReportFatal("Expected " + expectation + ",\ngot end of file");
    if (got->kind == TK_NEWLINE) {
        // The line end is still to be seen; the report names its line.
        unget_token(*got);
        ReportError("Expected " + expectation + ",\ngot newline");
        return;
    }
    ReportError("Expected " + expectation + ",\ngot " + Quoted(got->text));
}

void DropRestOfLine() {
    while (auto t = get_token()) {
        if (t->kind == TK_NEWLINE) {
            unget_token(*t);
            return;
        }
    }
}

bool& InTransition() { return P().inTransition; }

}  // namespace tulc
