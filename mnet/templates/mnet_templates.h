// Box templates and the template command interpreter.
//
// Most boxes of the translations are read from template nets: HLNet files
// under "<VOSHOME>/lib/<front end's directory>/", one per template number.
// While a template is read, every macro met in it is recorded as a command
// of that template (mnet_commands.h).  get_box copies the loaded template and
// runs its commands on the copy with the current template parameters, so one
// template yields differently named and sized boxes.  Each template file is
// read once per run; every get_box returns a fresh copy.
#pragma once

#include <cstdint>
#include <string>

#include "mnet_commands.h"
#include "mnet_net.h"

namespace mnet {

enum : int { BOX_TEMPLATE_COUNT = 61 };

// Template numbers that the B(PN)2 translation uses.
enum BoxNumber : int {
    BOX_VAR = 0, BOX_VAR_INIT = 1, BOX_VAR_TERM = 2,
    BOX_INITVAR = 3, BOX_INITVAR_INIT = 4, BOX_INITVAR_TERM = 5,
    BOX_CHAN0 = 6, BOX_CHAN0_INIT = 7, BOX_CHAN0_TERM = 8,
    BOX_CHAN1 = 9, BOX_CHAN1_INIT = 10, BOX_CHAN1_TERM = 11,
    BOX_CHAN = 12, BOX_CHAN_INIT = 13, BOX_CHAN_TERM = 14,
    BOX_STACK = 15, BOX_STACK_INIT = 16, BOX_STACK_TERM = 17,
    BOX_PROC = 18, BOX_PROC_SET = 19, BOX_PROC_INIT = 20, BOX_PROC_TERM = 21, BOX_PROC_CALL = 22,
    BOX_VAL_PAR = 23, BOX_CONST_PAR = 24, BOX_RES_PAR = 25,
    BOX_VARREF_PAR = 26, BOX_VARREF_PAR_REC = 27, BOX_CHAN0REF_PAR = 28, BOX_CHAN0REF_PAR_REC = 29,
    BOX_CHANREF_PAR = 30, BOX_CHANREF_PAR_REC = 31,
};

// The marks a template puts on its transitions ($PAR_PRE$ ... in guards).
enum TemplateMark : int { MARK_PAR_PRE = 0, MARK_PAR_POST = 1, MARK_CALL_PAR = 2, MARK_RETURN_PAR = 3 };

struct BoxTemplate {
    enum class State : std::uint8_t { NotLoaded, Loaded, Missing };
    std::string file;     // file name, "var_box.hl_net"
    State state = State::NotLoaded;
    MNet* net = nullptr;  // the loaded template (owned)
    CommandList commands;       // first list
    CommandList late_commands;  // second list: refinements
};

// The entry of template n (0 <= n < 61).
BoxTemplate& box_template(int n);

// Replaces the character before the first '.' of entry n's file name (the
// variant letter of "chan_box_0.hl_net"); an entry already read is freed and
// read again, from the renamed file, by the next get_box.
void set_box_variant(int n, char variant);

// The template directory: set by a front end before the first load (a '/'
// is added when it lacks one), or, when still empty at the first load,
// "<VOSHOME>/lib/<word>/" with the front end's directory word; an unset
// VOSHOME is fatal.  Fixed for the rest of the run.
void set_template_directory(const std::string& directory);
const std::string& template_directory();

// Runtime state of the interpreter beside the macro values of
// template_params: the refining net of a $BODY$ transition (consumed by one
// refinement), the remembered argument place ($REF_PAR$) and the marked
// transitions of the last get_box, the current value list and the FOREACH
// table.
struct ForeachEntry {
    ValueSet values;
    std::uint16_t nodes = 0;        // nodes of the body
    const CommandList* commands = nullptr;
    bool used = false;
};
struct TemplateRuntime {
    MNet* refinement = nullptr;
    MPlace* remembered_place = nullptr;
    MTransition* marks[4] = {nullptr, nullptr, nullptr, nullptr};
    ValueSet value_list;
    ForeachEntry foreach[10];
    // While not null, every action that a command puts on a transition is
    // also added here (the actions collected for a block's scope list).
    ActionSet* collected = nullptr;
};
extern TemplateRuntime template_runtime;

// The loaded template n (shared, not a copy); null for an optional template
// whose file is missing.  required = false makes a missing file a missing
// template instead of the reader's error (exit code 4).
MNet* load_box(int n, bool required);
// A fresh copy of template n with its commands run; null when the optional
// template is missing.  Starts with no remembered place and no marks.
MNet* get_box(int n, bool required);
// Frees every loaded template and its commands; entries become not loaded.
void free_boxes();

// Copies the text with every "$WORD$" replaced by the value of its macro;
// an unknown word is fatal "Unknown macro in hl_net-box !".
std::string substitute_macros(const std::string& text);
// Runs the commands on the box (a refinement may replace it).
void run_commands(const CommandList& list, MNet*& box);

}  // namespace mnet
