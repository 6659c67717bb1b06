// The record of template commands.  While a box template is read, every macro
// met in a text (names, inscriptions, guards, value sets) is recorded as a
// command attached to the template element it occurs in; the template
// interpreter later runs the commands on each copy of the template.  This
// file holds the record, the recording operations and the template
// parameters that the macro words stand for.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mnet_symtab.h"

namespace mnet {

struct TemplateCommand;
using CommandList = std::vector<std::unique_ptr<TemplateCommand>>;

// Flag bits of a range command: the low or high bound is an immediate value.
enum : std::uint32_t { CMD_LOW_IMMEDIATE = 0x100, CMD_HIGH_IMMEDIATE = 0x200 };
// The third argument that cancel_commands writes.
constexpr std::intptr_t CMD_CANCELLED = -1;

enum class ElementKind : std::uint8_t { None, Place, Transition, Arc };

struct TemplateCommand {
    void* element = nullptr;  // template element the command belongs to
    ElementKind element_kind = ElementKind::None;
    std::uint16_t kind = 0;
    // Arguments: a number, or the address of a template parameter or of a
    // payload below, as the kind requires.
    std::intptr_t a1 = 0, a2 = 0, a3 = 0;
    std::uint32_t flags = 0;
    // Payloads owned by the command (a1 points to the one in use).
    std::string text;                 // kinds 24, 32, 54: a variable name
    ActionTerm term;                  // kind 14: the action term
    std::unique_ptr<ValueSet> set;    // kind 43: the FOREACH set
    std::unique_ptr<Tuple> tuple;     // kind 22: the tuple
    CommandList sub;                  // kinds 23 and 52: the command sub-list
};

// Template parameters: values that the macro words stand for.
struct TemplateParams {
    std::string name;                                  // $NAME$
    std::int16_t index = 0, element = 0, max = 0, capacity = 0, capacity_plus_one = 0, init = 0,
                 base_id = 0;                         // $INDEX$ ... $BASEID$
    std::string arg, ext;                              // $ARG$, $EXT$
    std::uint16_t reference = 0;                       // current reference number
    ValueSet decl_set, id_set, new_ids, senders, senders2, signals;  // set macros
};
extern TemplateParams template_params;

// The command list being recorded (null while no template is read) and the
// element that new commands belong to.
extern CommandList* current_commands;
extern CommandList* current_late_commands;  // the second list (refinement)
extern void* command_element;
extern ElementKind command_element_kind;
inline bool recording_template() { return current_commands != nullptr; }

// Appends a command to the current list ("Macros are not allowd in the source
// net !" in source-net mode or while no template is read).
TemplateCommand& add_command(std::uint16_t kind, std::intptr_t a1, std::intptr_t a2, std::intptr_t a3);
TemplateCommand& add_late_command(std::uint16_t kind, std::intptr_t a1, std::intptr_t a2, std::intptr_t a3);
// Removes the newest k commands and returns them as a list of their own.
CommandList pop_commands(std::size_t k);
// Sets the third argument of the newest command of that kind whose second
// argument is a2 ("Internal Error: Command not found !" when there is none).
void set_command_arg3(std::uint16_t kind, std::intptr_t a2, std::intptr_t value);
// Cancels the newest run of range commands of variable v (kind 12 with
// variable number v, kind 11 with second argument v).
void cancel_commands(std::uint16_t v);
std::size_t command_count();

// Addresses of the value macros and the set macros by their words; null for
// a word that is not one.
std::int16_t* const_macro(const std::string& word);
ValueSet* set_macro(const std::string& word);

}  // namespace mnet
