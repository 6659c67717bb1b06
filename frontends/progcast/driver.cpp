#include "driver.h"

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bpn2_trans.h"
#include "mnet_hlnet.h"
#include "options.h"
#include "outfile.h"
#include "parser.h"

namespace progcast {

using namespace mnet;

namespace {

// The settings of the M-net library, from the options.
void configure(const Options& o) {
    install_memory_handler();
    memory_tracking = o.free_memory;
    MNetOptions[0] = o.byte0;
    MNetOptions[1] = o.byte1;
    MNetOptions[2] = 0;
    frontend_kind = FE_BPN2;
    procedure_semantics = o.procedure_semantics;
    scale = o.scale;
    max_transitions = o.max_transitions;
    variable_rendering_mode = o.naming;
    max_arc_variables = o.max_arc_variables;
    default_procedure_instances = o.instances;
    net_file_name = o.net_out.value_or("");
    ref_file_name = o.ref_out.value_or("");
    source_file_name = o.source;
    if (o.template_dir) set_template_directory(*o.template_dir);
    if (o.channel_variant)
        for (int n : {BOX_CHAN, BOX_CHAN_INIT, BOX_CHAN_TERM}) set_box_variant(n, o.channel_variant);
    if (o.procedure_variant)
        for (int n : {BOX_PROC, BOX_PROC_SET, BOX_PROC_INIT, BOX_PROC_TERM, BOX_PROC_CALL})
            set_box_variant(n, o.procedure_variant);
}

void create_tables() {
    init_action_buffers();
    init_var_buffers();
    init_symtabs();
    init_blocks();
}

double seconds_since(std::clock_t start) { return static_cast<double>(std::clock() - start) / 1000000.0; }

// Post-processing and writing, the time taken, and the explicit frees of -f.
int finish(const Options& o, MNet* net, std::clock_t start, bpn2::Tree& tree) {
    finish_net(net);
    commit_outputs();
    std::printf("Creation complete (%f sec).\n\n", seconds_since(start));
    std::fflush(stdout);
    if (o.free_memory) {
        for (Symtab s : {Symtab::Actions, Symtab::Variables, Symtab::References, Symtab::Tuples}) free_symtab(s);
        free_blocks();
        free_boxes();
        tree.reset();
        FreeNet(&net);
        free_work_buffers();
        bpn2::free_idents();
        FreeAll(0);
    }
    return 0;
}

// The whole source; false when it cannot be opened or read (a directory
// opens, but reading it fails).
bool read_source(const std::string& name, std::string& text) {
    std::FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return false;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return !failed;
}

int program_mode(const Options& o) {
    std::string text;
    if (!read_source(o.source, text)) {
        std::fprintf(stderr, "\nError: Could not open file %s !\n\n", o.source.c_str());
        return 2;
    }
    std::printf("\nParsing program %s ...\n", o.source.c_str());
    std::fflush(stdout);
    ParseOptions po;
    po.allow_fragments = o.allow_fragments;
    po.no_old_warnings = o.no_old_warnings;
    bpn2::Tree tree;
    parsing_flag = 1;
    int status = parse_program(text, stdout, po, tree);
    parsing_flag = 0;
    scanner_token.clear();
    if (status != 0) return status;

    create_tables();
    bpn2::init_translation();
    bpn2::translation.free_memory = o.free_memory;
    std::printf("\nCreating resulting net ...\n");
    std::fflush(stdout);
    const std::clock_t start = std::clock();
    MNet* net = tree ? bpn2::trans_block(tree.get()) : nullptr;
    if (!net) net = M_new_net();  // a program without commands: the empty net
    return finish(o, net, start, tree);
}

int sync_mode(const Options& o) {
    create_tables();
    ActionSet list = new_actset();
    if (!o.sync_list) action_collector = &list;
    std::printf("\nReading source net %s ...\n", o.source.c_str());
    std::fflush(stdout);
    MNet* net = read_VOS(o.source, o.source_ref ? o.source_ref->c_str() : nullptr);
    action_collector = nullptr;
    std::printf("Checking consistency of source net: ");
    if (int code = CheckNet(net)) {
        std::printf("inconsistent (%i)!\n\n", code);
        std::fflush(stdout);
        std::exit(5);
    }
    std::printf("OK !\n\n");
    if (o.sync_list) list = parse_actionset(*o.sync_list, nullptr);
    if (o.exclude) {
        for (ActionTerm& t : list) t.mult = 1;
        ActionSet excluded = parse_actionset(*o.exclude, nullptr);
        actset_minus(list, excluded);
        ActionSet conjugates;
        for (ActionTerm t : excluded) {
            t.code = static_cast<std::uint16_t>(t.code ^ 1u);
            actset_add_term(conjugates, t);
        }
        actset_minus(list, conjugates);
    }
    std::printf("Creating resulting net ...\n");
    std::fflush(stdout);
    const std::clock_t start = std::clock();
    if (!no_scoping()) M_synchronise(net, list, max_arc_variables);
    if (MNetOptions[1] & 0x40) M_restrict(net, list);
    ActionSet().swap(list);
    bpn2::Tree no_tree;
    return finish(o, net, start, no_tree);
}

// The output that names the source or the source net's reference file
// (another spelling or a link included); null when none does.
const std::string* output_replacing_input(const Options& o) {
    std::vector<std::string> inputs = {o.source};
    if (o.source_ref) inputs.push_back(*o.source_ref);
    for (const auto* out : {&o.net_out, &o.ref_out})
        if (*out && outfile::names_input(**out, inputs)) return &**out;
    return nullptr;
}

}  // namespace

int run(int argc, const char* const* argv) {
    Options o;
    if (!parse_options(argc, argv, o)) {
        print_usage(argc > 0 ? argv[0] : "progcast", stderr);
        return 1;
    }
    if (const std::string* out = output_replacing_input(o)) {
        std::fprintf(stderr, "\nError: output file %s would replace the input !\n\n", out->c_str());
        return 3;
    }
    configure(o);
    return o.sync_mode() ? sync_mode(o) : program_mode(o);
}

}  // namespace progcast
