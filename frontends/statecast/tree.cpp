#include "tree.h"

#include <algorithm>
#include <iterator>

namespace statecast {

Ident* IdentTable::find(const std::string& name) const {
    auto it = by_name_.find(name);
    if (it == by_name_.end() || it->second.empty()) return nullptr;
    return it->second.back();
}

Ident* IdentTable::lookup(const std::string& name, bool* fresh) {
    if (Ident* r = find(name)) {
        *fresh = false;
        return r;
    }
    *fresh = true;
    return enter(name, CL_PLACEHOLDER);
}

Ident* IdentTable::make(const std::string& name, std::uint8_t cls, int level) {
    Ident& r = arena_.emplace_back();
    r.name = name;
    r.cls = cls;
    r.level = level;
    return &r;
}

Ident* IdentTable::enter(const std::string& name, std::uint8_t cls) {
    Ident* r = make(name, cls, level_);
    by_name_[name].push_back(r);
    levels_[static_cast<std::size_t>(level_)].push_back(r);
    return r;
}

void IdentTable::open_level() {
    ++level_;
    levels_.emplace_back();
}

std::vector<Ident*> IdentTable::close_level() {
    std::vector<Ident*> records = std::move(levels_.back());
    levels_.pop_back();
    std::reverse(records.begin(), records.end());
    for (Ident* r : records) {
        auto it = by_name_.find(r->name);
        auto& stack = it->second;
        // The records of the closing level are the newest of their names.
        if (!stack.empty() && stack.back() == r) stack.pop_back();
        else stack.erase(std::remove(stack.begin(), stack.end(), r), stack.end());
        if (stack.empty()) by_name_.erase(it);
    }
    --level_;
    return records;
}

void IdentTable::unlink(Ident* r) {
    auto it = by_name_.find(r->name);
    if (it != by_name_.end()) {
        auto& stack = it->second;
        stack.erase(std::remove(stack.begin(), stack.end(), r), stack.end());
        if (stack.empty()) by_name_.erase(it);
    }
    if (static_cast<std::size_t>(r->level) >= levels_.size()) {
        r->hidden = true;
        return;
    }
    auto& level = levels_[static_cast<std::size_t>(r->level)];
    for (auto it2 = level.rbegin(); it2 != level.rend(); ++it2)
        if (*it2 == r) {
            level.erase(std::next(it2).base());
            break;
        }
    r->hidden = true;
}

std::vector<PidOwner> pid_owners(const SystemObj* system) {
    std::vector<PidOwner> out;
    if (!system) return out;
    for (Ident* d : system->decls) {
        if (d->cls == CL_PROCESS && d->object && d->as<ProcessObj>()->has_body) {
            const ProcessObj* p = d->as<ProcessObj>();
            out.push_back({d, p->pid_first, p->max});
        } else if (d->cls == CL_ROUTE && d->object) {
            const RouteObj* r = d->as<RouteObj>();
            out.push_back({d, r->pid_first, r->instances});
        }
    }
    return out;
}

}  // namespace statecast
