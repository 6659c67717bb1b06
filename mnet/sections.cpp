#include "mnet_sections.h"

#include <cctype>
#include <cstdio>
#include <memory>

#include "mnet_base.h"

namespace mnet {

std::string last_format_identifier;

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};

[[noreturn]] void fail(const char* format, const std::string& arg = std::string()) {
    char m[256];
    std::snprintf(m, sizeof m, format, arg.c_str());
    token_error(m);
}

bool upper(int c) { return c >= 'A' && c <= 'Z'; }

// A string of an entry in its canonical text: in double quotes, or in
// single ones when it holds a double quote.  A string read from a file
// never holds both, since neither quote can occur inside itself.
std::string enclosed(const std::string& s) {
    const char q = s.find('"') == std::string::npos ? '"' : '\'';
    return q + s + q;
}

class SectionReader {
public:
    SectionReader(std::FILE* f, const std::vector<SectionDescription>& d, std::vector<SectionHandler>& h)
        : f_(f), descs_(d), handlers_(h) {}

    void run() {
        std::size_t next = 0;  // first description not yet passed
        for (;;) {
            std::string keyword;
            if (pending_ >= 0) {
                keyword.push_back(static_cast<char>(pending_));
                pending_ = -1;
                int c = std::getc(f_);
                if (c != EOF) std::ungetc(c, f_);
                if (c != EOF && (std::isalnum(c) || c == '_')) keyword += ReadCmdToken(f_);
            } else {
                int c = SkipSeparators(f_);
                while (c == '\n') {
                    ++scan.line;
                    c = SkipSeparators(f_);
                }
                if (c == EOF) break;
                std::ungetc(c, f_);
                keyword = ReadCmdToken(f_);
            }
            std::size_t k = next;
            while (k < descs_.size() && descs_[k].keyword != keyword) {
                if (!descs_[k].optional) fail("keyword '%s' expected", descs_[k].keyword);
                ++k;
            }
            if (k == descs_.size()) fail("unknown keyword `%s'", keyword);
            next = k + 1;
            read_section(descs_[k]);
        }
        for (std::size_t k = next; k < descs_.size(); ++k)
            if (!descs_[k].optional) fail("section `%s' not found", descs_[k].keyword);
    }

private:
    void read_section(const SectionDescription& d) {
        for (auto& t : types_) t = 0;
        for (const SectionField& fd : d.fields)
            if (fd.letter >= 32 && fd.letter < 127) types_[fd.letter - 32] = fd.type;
        handler_ = nullptr;
        for (SectionHandler& h : handlers_)
            if (h.keyword == d.keyword) handler_ = &h;
        if (d.same_line) {
            entry(-1);
        } else {
            SkipLine(f_);
        }
        for (;;) {
            int c = SkipSeparators(f_);
            if (c == EOF) return;
            if (c == '\n') {
                ++scan.line;
                continue;
            }
            if (upper(c)) {
                int d2 = std::getc(f_);
                if (d2 != EOF) std::ungetc(d2, f_);
                if (upper(d2)) {
                    pending_ = c;
                    return;
                }
            }
            entry(c);
        }
    }

    int type_of(char c) const { return (c >= 32 && c < 127) ? types_[c - 32] : 0; }

    void* target(char c) const {
        if (!handler_) return nullptr;
        for (const SectionTarget& t : handler_->targets)
            if (t.letter == c) return t.variable;
        return nullptr;
    }

    // Next character of the entry: blanks skipped, a comment ends the line.
    int next_char(int& first) {
        if (first >= 0) {
            int c = first;
            first = -1;
            return c;
        }
        for (;;) {
            int c = std::getc(f_);
            if (c == ' ' || c == '\t' || c == '\b' || c == 0 || c == '\r') continue;
            if (c == '%') {
                while ((c = std::getc(f_)) != EOF && c != '\n') {
                }
                return c == EOF ? EOF : '\n';
            }
            return c;
        }
    }

    void entry(int first) {
        std::string text;
        if (handler_)
            for (const SectionTarget& t : handler_->targets) {
                switch (type_of(t.letter)) {
                case SF_STRING: static_cast<std::optional<std::string>*>(t.variable)->reset(); break;
                case SF_PAIR: static_cast<std::optional<NumberPair>*>(t.variable)->reset(); break;
                case SF_NUMBER:
                case SF_FLAG: *static_cast<std::int32_t*>(t.variable) = 0; break;
                default: {
                    char m[64];
                    std::snprintf(m, sizeof m, "internal error: don't know the type of field `%c'", t.letter);
                    token_error(m);
                }
                }
            }
        char buf[64];
        for (;;) {
            int c = next_char(first);
            if (c == EOF || c == '\n') break;
            if (std::isdigit(c) || c == '-') {
                std::ungetc(c, f_);
                std::int32_t a = ReadNumber(f_);
                int none = -1;
                int d = next_char(none);
                if (d == '@' || d == '<' || d == '>') {
                    std::int32_t b = ReadNumber(f_);
                    if (void* v = target('@')) *static_cast<std::optional<NumberPair>*>(v) = NumberPair{a, b};
                    else {
                        std::snprintf(buf, sizeof buf, "%d@%d ", a, b);
                        text += buf;
                    }
                } else {
                    if (d == '\n') first = '\n';
                    else if (d != EOF) std::ungetc(d, f_);
                    if (void* v = target('0')) *static_cast<std::int32_t*>(v) = a;
                    else {
                        std::snprintf(buf, sizeof buf, "%d ", a);
                        text += buf;
                    }
                }
                continue;
            }
            if (c == '"' || c == '\'') {
                std::ungetc(c, f_);
                std::string s = RL_ReadEnclString(f_);
                if (void* v = target(static_cast<char>(c))) *static_cast<std::optional<std::string>*>(v) = s;
                else text += enclosed(s);
                continue;
            }
            int type = type_of(static_cast<char>(c));
            void* v = target(static_cast<char>(c));
            switch (type) {
            case SF_STRING: {
                std::string s = RL_ReadEnclString(f_);
                if (v) *static_cast<std::optional<std::string>*>(v) = s;
                else text += static_cast<char>(c) + enclosed(s);
                break;
            }
            case SF_PAIR: {
                std::int32_t a, b;
                ReadCoordinates(f_, a, b);
                if (v) *static_cast<std::optional<NumberPair>*>(v) = NumberPair{a, b};
                else {
                    std::snprintf(buf, sizeof buf, "%c%d@%d", c, a, b);
                    text += buf;
                }
                break;
            }
            case SF_NUMBER: {
                std::int32_t a = ReadNumber(f_);
                if (v) *static_cast<std::int32_t*>(v) = a;
                else {
                    std::snprintf(buf, sizeof buf, "%c%d", c, a);
                    text += buf;
                }
                break;
            }
            case SF_FLAG:
                if (v) ++*static_cast<std::int32_t*>(v);
                else text += static_cast<char>(c);
                break;
            default: {
                char m[40];
                std::snprintf(m, sizeof m, "unknown token `%c'", c);
                token_error(m);
            }
            }
        }
        if (handler_) {
            if (handler_->text) *handler_->text = text;
            if (handler_->callback && handler_->callback() != 0) token_error("read aborted");
        }
        ++scan.line;
    }

    std::FILE* f_;
    const std::vector<SectionDescription>& descs_;
    std::vector<SectionHandler>& handlers_;
    SectionHandler* handler_ = nullptr;
    int types_[96] = {};
    int pending_ = -1;
};
}  // namespace

void read_sections(const std::string& path, const std::vector<std::string>& identifiers,
                   const std::vector<SectionDescription>& descriptions, std::vector<SectionHandler>& handlers) {
    scan.file = path;
    scan.line = 1;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    try {
        if (!file) token_error("could not open file for reading");
        std::FILE* f = file.get();
        if (ReadCmdToken(f) != "VOS") token_error("keyword `VOS' expected");
        SkipLine(f);
        std::string id = ReadCmdToken(f);
        bool known = false;
        for (const std::string& i : identifiers) known = known || i == id;
        if (!known) fail("unexpected format identifier `%s'", id);
        last_format_identifier = id;
        SkipLine(f);
        if (ReadCmdToken(f).compare(0, 8, "FORMAT_N") != 0) token_error("keyword `FORMAT_N' or `FORMAT_N2' expected");
        SkipLine(f);
        SectionReader reader(f, descriptions, handlers);
        reader.run();
    } catch (const ReadAborted&) {
        // The replaced error hook returned: the file is closed on return.
    }
}

void ReadSections(std::FILE* f, std::vector<SectionHandler>& handlers,
                  const std::vector<SectionDescription>& descriptions) {
    try {
        SectionReader reader(f, descriptions, handlers);
        reader.run();
    } catch (const ReadAborted&) {
        // The replaced error hook returned: back to the caller, who owns the file.
    }
}

const std::vector<SectionDescription>& any_net_sections() {
    static const std::vector<SectionDescription> table = [] {
        std::vector<SectionField> defaults = {{'n', SF_PAIR}, {'a', SF_PAIR}, {'s', SF_NUMBER}, {'t', SF_NUMBER}};
        std::vector<SectionField> block = {{'\'', SF_STRING}, {'"', SF_STRING}, {'@', SF_PAIR}, {'0', SF_NUMBER},
                                           {'n', SF_PAIR},    {'N', SF_PAIR},    {'b', SF_STRING}, {'a', SF_PAIR},
                                           {'A', SF_PAIR},    {'R', SF_STRING}, {'T', SF_STRING}, {'u', SF_STRING}};
        std::vector<SectionField> place = {{'\'', SF_STRING}, {'"', SF_STRING}, {'@', SF_PAIR}, {'0', SF_NUMBER}};
        for (char c : {'n', 'N', 'a', 'A', 'B'}) place.push_back({c, SF_PAIR});
        for (char c : {'b', 'u', 'Z', 'z', 'y', 'R', 'T'}) place.push_back({c, SF_STRING});
        for (char c : {'M', 'm', 'k', 'v', 's', 't', 'c'}) place.push_back({c, SF_NUMBER});
        for (char c : {'e', 'x'}) place.push_back({c, SF_FLAG});
        std::vector<SectionField> trans = {{'S', SF_FLAG}, {'\'', SF_STRING}, {'"', SF_STRING}, {'@', SF_PAIR},
                                           {'0', SF_NUMBER}};
        for (char c : {'n', 'N', 'a', 'A', 'h', 'H', 'j'}) trans.push_back({c, SF_PAIR});
        for (char c : {'b', 'u', 'P', 'g', 'R', 'i', 'T'}) trans.push_back({c, SF_STRING});
        for (char c : {'v', 's', 't', 'c', 'E', 'L'}) trans.push_back({c, SF_NUMBER});
        trans.push_back({'r', SF_FLAG});
        std::vector<SectionField> arc = {{'@', SF_PAIR}};
        for (char c : {'J', ',', 'n', 'N', 'q', 'Q'}) arc.push_back({c, SF_PAIR});
        arc.push_back({'p', SF_STRING});
        for (char c : {'w', 'v', 't', 'c'}) arc.push_back({c, SF_NUMBER});
        std::vector<SectionField> text = {{'\'', SF_STRING}, {'"', SF_STRING}, {'N', SF_PAIR}};
        std::vector<SectionField> dpt = {{'n', SF_PAIR}, {'t', SF_NUMBER}, {'w', SF_NUMBER}};
        return std::vector<SectionDescription>{
            {"DBL", true, true, defaults}, {"DPL", true, true, defaults}, {"DTR", true, true, defaults},
            {"DPT", true, true, dpt},      {"BL", true, false, block},    {"PL", false, false, place},
            {"TR", false, false, trans},   {"PTR", true, false, trans},   {"TP", false, false, arc},
            {"PT", false, false, arc},     {"PTP", true, false, arc},     {"PPT", true, false, arc},
            {"TX", true, false, text},
        };
    }();
    return table;
}

void ReadAnyNet(const std::string& path, std::vector<SectionHandler>& handlers) {
    read_sections(path, {"HLNet", "PetriBox", "PlainNet"}, any_net_sections(), handlers);
}

}  // namespace mnet
