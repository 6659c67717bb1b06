#include "mnet_commands.h"

namespace mnet {

TemplateParams template_params;
CommandList* current_commands = nullptr;
CommandList* current_late_commands = nullptr;
void* command_element = nullptr;
ElementKind command_element_kind = ElementKind::None;

namespace {
TemplateCommand& record(CommandList* list, std::uint16_t kind, std::intptr_t a1, std::intptr_t a2,
                        std::intptr_t a3) {
    if (source_net_mode() || !list) fatal("Macros are not allowd in the source net !");
    auto c = std::make_unique<TemplateCommand>();
    c->element = command_element;
    c->element_kind = command_element_kind;
    c->kind = kind;
    c->a1 = a1;
    c->a2 = a2;
    c->a3 = a3;
    list->push_back(std::move(c));
    return *list->back();
}
}  // namespace

TemplateCommand& add_command(std::uint16_t kind, std::intptr_t a1, std::intptr_t a2, std::intptr_t a3) {
    return record(current_commands, kind, a1, a2, a3);
}

TemplateCommand& add_late_command(std::uint16_t kind, std::intptr_t a1, std::intptr_t a2, std::intptr_t a3) {
    return record(current_late_commands ? current_late_commands : current_commands, kind, a1, a2, a3);
}

CommandList pop_commands(std::size_t k) {
    CommandList out;
    if (!current_commands) return out;
    if (k > current_commands->size()) k = current_commands->size();
    auto first = current_commands->end() - static_cast<long>(k);
    for (auto it = first; it != current_commands->end(); ++it) out.push_back(std::move(*it));
    current_commands->erase(first, current_commands->end());
    return out;
}

void set_command_arg3(std::uint16_t kind, std::intptr_t a2, std::intptr_t value) {
    if (current_commands)
        for (auto it = current_commands->rbegin(); it != current_commands->rend(); ++it)
            if ((*it)->kind == kind && (*it)->a2 == a2) {
                (*it)->a3 = value;
                return;
            }
    fatal("Internal Error: Command not found !");
}

void cancel_commands(std::uint16_t v) {
    if (source_net_mode() || !current_commands) return;
    for (auto it = current_commands->rbegin(); it != current_commands->rend(); ++it) {
        TemplateCommand& c = **it;
        if ((c.kind == 12 && (c.flags & 0xff) == v) || (c.kind == 11 && c.a2 == v)) c.a3 = CMD_CANCELLED;
        else break;
    }
}

std::size_t command_count() { return current_commands ? current_commands->size() : 0; }

std::int16_t* const_macro(const std::string& w) {
    TemplateParams& p = template_params;
    if (w == "$MAX$") return &p.max;
    if (w == "$CAPACITY$") return &p.capacity;
    if (w == "$CAPACITPLUSEINS$") return &p.capacity_plus_one;
    if (w == "$INIT$") return &p.init;
    if (w == "$INDEX$") return &p.index;
    if (w == "$ELEMENT$") return &p.element;
    if (w == "$BASEID$") return &p.base_id;
    return nullptr;
}

ValueSet* set_macro(const std::string& w) {
    TemplateParams& p = template_params;
    if (w == "$DECL_SET$") return &p.decl_set;
    if (w == "$ID_SET$") return &p.id_set;
    if (w == "$NEW_IDS$") return &p.new_ids;
    if (w == "$SENDERS$") return &p.senders;
    if (w == "$SENDERS2$") return &p.senders2;
    if (w == "$SIGNALS$") return &p.signals;
    return nullptr;
}

}  // namespace mnet
