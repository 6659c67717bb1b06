#include "macros.h"

#include <unordered_map>
#include <utility>

#include "diag.h"

namespace tulc {

namespace {

struct MacroTable {
    std::unordered_map<std::string, std::unique_ptr<Macro>> macros;
    // Per name: how often the bodies of the macros in the table name it.
    std::unordered_map<std::string, std::size_t> namedBy;
    std::uint64_t walk = 0;
};

MacroTable& T() {
    static MacroTable table;
    return table;
}

// Depth-first walk from the new macro over the macros its body names.  A
// macro met again while it is on the path (or the macro being walked
// itself) closes a cycle.
bool ReportCycle(Macro* start) {
    auto& t = T();
    const std::uint64_t walk = ++t.walk;
    struct Step {
        Macro* macro;
        std::size_t next;
    };
    std::vector<Step> path;  // macros whose walk is in progress, the current one last
    start->visited = walk;
    path.push_back({start, 0});
    while (!path.empty()) {
        Step& top = path.back();
        Macro* cur = top.macro;
        if (top.next == cur->body.size()) {
            path.pop_back();
            if (!path.empty()) path.back().macro->onPath = 0;
            continue;
        }
        const MacroPart& part = cur->body[top.next++];
        if (part.kind != MacroPart::kName) continue;
        Macro* m = MacroLookup(part.text);
        if (!m || !m->refersToNames) continue;
        if (m->visited != walk) {
            cur->onPath = walk;
            m->visited = walk;
            path.push_back({m, 0});
            continue;
        }
        if (m == cur || m->onPath == walk) {
            ReportError("Cyclic definition: " + m->name);
            ErrText("is referred by " + cur->name + "\n");
            if (m != cur) {
                for (std::size_t i = path.size() - 1; i-- > 0;) {
                    ErrText("which is referred by " + path[i].macro->name + "\n");
                    if (path[i].macro == m) break;
                }
            }
            return true;
        }
    }
    return false;
}

}  // namespace

void MacroTableInit() { T() = MacroTable(); }

Macro* MacroLookup(const std::string& name) {
    auto& m = T().macros;
    auto it = m.find(name);
    return it == m.end() ? nullptr : it->second.get();
}

void MacroDelete(const std::string& name) {
    auto& t = T();
    auto it = t.macros.find(name);
    if (it == t.macros.end()) return;
    for (const MacroPart& part : it->second->body)
        if (part.kind == MacroPart::kName) {
            auto n = t.namedBy.find(part.text);
            if (n != t.namedBy.end() && --n->second == 0) t.namedBy.erase(n);
        }
    t.macros.erase(it);
}

Macro* MacroCreate(const std::string& name, const std::vector<std::string>* params,
                   const std::vector<Token>& definition) {
    auto macro = std::make_unique<Macro>();
    macro->name = name;
    macro->paramCount = params ? static_cast<int>(params->size()) : -1;
    for (const Token& tok : definition) {
        if (tok.kind == TK_NEWLINE) break;
        MacroPart part;
        part.text = tok.text;
        if (tok.kind == TK_NAME) {
            part.kind = MacroPart::kName;
            if (params) {
                for (std::size_t i = 0; i < params->size(); ++i)
                    if ((*params)[i] == tok.text) {
                        part.kind = MacroPart::kParam;
                        part.param = static_cast<int>(i);
                        break;
                    }
            }
            if (part.kind == MacroPart::kName) macro->refersToNames = true;
        }
        macro->body.push_back(std::move(part));
    }
    Macro* m = macro.get();
    auto& t = T();
    for (const MacroPart& part : m->body)
        if (part.kind == MacroPart::kName) ++t.namedBy[part.text];
    t.macros[name] = std::move(macro);
    // The macros in the table form no cycle, so a new cycle runs through the
    // new macro: none when no body names it.  This keeps long chains of
    // definitions from walking the whole chain for each new link.
    if (m->refersToNames && t.namedBy.count(name) && ReportCycle(m)) {
        MacroDelete(name);
        return nullptr;
    }
    return m;
}

std::string MacroExpansion(const Macro& macro, const std::vector<std::vector<Token>>& args) {
    std::string text;
    for (const MacroPart& part : macro.body) {
        if (part.kind == MacroPart::kParam) {
            if (part.param < static_cast<int>(args.size()))
                for (const Token& t : args[part.param]) text += t.text;
        } else {
            text += part.text;
        }
    }
    return text;
}

}  // namespace tulc
