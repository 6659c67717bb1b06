#include "driver.h"

#include <cstdio>
#include <string>
#include <vector>

#include "automaton.h"
#include "bpn2_trans.h"
#include "failure.h"
#include "fragments.h"
#include "mnet_algebra.h"
#include "mnet_hlnet.h"
#include "outfile.h"
#include "project.h"
#include "references.h"
#include "source_copy.h"
#include "translate.h"

namespace autocast {

namespace {

// The settings of the M-net library that the command line decides.
void configure_library(const Settings& s) {
    mnet::install_memory_handler();
    if (s.no_scoping) mnet::MNetOptions[0] |= mnet::OPT0_NO_SCOPING;
    if (s.blocks) mnet::MNetOptions[1] |= mnet::OPT1_BLOCKS;
    if (s.phantoms) mnet::MNetOptions[1] |= mnet::OPT1_PHANTOMS;
    if (s.omit_init_term) mnet::MNetOptions[2] |= mnet::OPT2_OMIT_INIT_TERM;
    mnet::scale = s.scale;
    mnet::procedure_semantics = s.procedure_semantics;
    mnet::frontend_kind = mnet::FE_AUTOMATA;
    mnet::variable_rendering_mode = mnet::NAMING_NAMES;
    mnet::net_file_name = s.net_file;
}

// Refuses an output that names the project file or one of its automaton
// files (another spelling or a link included), before anything is written.
void refuse_outputs_naming_inputs(const Settings& s, const Project& project) {
    std::vector<std::string> inputs = {s.project_file};
    for (const std::string& name : project.automata)
        if (!name.empty()) inputs.push_back(name);
    for (const std::string* out : {&s.net_file, &s.ref_file}) {
        if (out->empty()) continue;
        if (outfile::names_input(*out, inputs))
            throw Failure(EXIT_FAILURE_STATUS,
                          format("Error: output file %s would replace the input!\n", out->c_str()));
    }
}

}  // namespace

void run(const Settings& s) {
    configure_library(s);
    const std::string declaration = s.process_declaration ? *s.process_declaration
                                                          : default_process_declaration(s.project_file);
    // With an identifier range every place of the automata, and the data
    // of their variables, is typed by the instance identifiers.
    static mnet::ValueSet ids;
    AutomatonSettings automata;
    automata.init_term = !s.omit_init_term;
    if (s.has_id_range()) {
        ids.clear();
        mnet::valueset_add_range(ids, s.id_lo, s.id_hi);
        automata.place_type = ids;
        mnet::default_place_type = &ids;
    }

    source_copy().create();
    mnet::source_file_name = source_copy().path();
    const Project project = read_project(s.project_file);
    refuse_outputs_naming_inputs(s, project);
    mnet::init_action_buffers();
    mnet::init_var_buffers();
    mnet::init_symtabs();
    mnet::init_blocks();
    bpn2::init_idents();
    bpn2::init_translation();

    pfa_parse(declaration);
    if (fragment_result().kind != RESULT_PROCEDURE) parse_failure("incorrect procedure declaration");
    bpn2::IdentRec* process = fragment_result().process;
    parse_var_declarations(project.var_text);

    mnet::MNet* net = nullptr;
    int translated = 0;
    for (const std::string& name : project.automata) {
        if (name.empty()) continue;
        mnet::MNet* a = translate_automaton(name, automata, process);
        net = net ? mnet::M_parallel(net, a) : a;
        ++translated;
    }
    // Semantic errors in the fragments (undeclared identifiers, ...) were
    // reported and counted: a net built from them is not written.
    if (mnet::error_counter > 0) {
        source_copy().remove();
        throw Failure(EXIT_FAILURE_STATUS, format("%d error(s), no net written\n", mnet::error_counter));
    }
    if (translated == 0) {
        source_copy().remove();
        std::fputs("no PFAs specified, nothing to do\n", stderr);
        return;
    }
    net = compose_with(net, collect_declarations());
    net = build_procedure_box(net, s, process);
    source_copy().close();
    mnet::finish_net(net);
    // The library writes no net for an empty name.
    if (s.net_file_given && s.net_file.empty()) throw Failure(EXIT_UNWRITABLE, "Error: Could not open file  !\n");
    if (s.ref_file_given) write_pfa_references(net, s.ref_file);
    source_copy().remove();
    mnet::commit_outputs();
}

int autocast_main(int argc, const char* const* argv) {
    try {
        run(parse_command_line(argc, argv));
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fputs(f.what(), stderr);
        return f.status();
    }
    return EXIT_OK;
}

}  // namespace autocast
