#include "driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "expand.h"
#include "failure.h"
#include "hlnet.h"
#include "mnet_base.h"
#include "names.h"
#include "outfile.h"
#include "writers.h"

namespace flatnet {

namespace {

// Every file name lives in a buffer of this many bytes.
constexpr std::size_t NAME_BUFFER = 80;

const char* const EXTENSIONS[FILE_ROLES] = {
    "",           ".ll_net",      ".bpn2_hl_ref", ".pfa_hl_ref", ".sdl_hl_ref", ".if_hl_ref",
    ".hl_ll_ref", ".bpn2_ll_ref", ".pfa_ll_ref",  ".sdl_ll_ref", ".if_ll_ref",
};
constexpr std::size_t LONGEST_EXTENSION = 12;  // ".bpn2_hl_ref"

[[noreturn]] void usage(const char* program) {
    throw Failure(
        EXIT_FATAL,
        format("\n%s -- Unfold high level net into the corresponding low level net.\n\n"
               "Usage: %s [options] <HLnetfile> [LLnetfile] [FileOptions]\n\n"
               "     Options:\n"
               "      -    to remove arcs with weight > 1\n"
               "      -b   to write block information\n"
               "      -p   to write phantom transitions\n\n"
               "     FileOptions:\n"
               "      -bh <filename>  specify an alternate BPN2->HL reference file\n"
               "      -bl <filename>  specify an alternate BPN2->LL reference file\n"
               "      -ph <filename>  specify an alternate PFA->HL reference file\n"
               "      -pl <filename>  specify an alternate PFA->LL reference file\n"
               "      -sh <filename>  specify an alternate SDL->HL reference file\n"
               "      -sl <filename>  specify an alternate SDL->LL reference file\n"
               "      -ih <filename>  specify an alternate IF->HL reference file\n"
               "      -il <filename>  specify an alternate IF->LL reference file\n"
               "      -hl <filename>  specify an alternate HL->LL reference file\n\n"
               "If only HLnetfile is specified all other filenames will be assumed to\n"
               "be its basename plus appropriate extensions. If LLnetfile is given the\n"
               "names of the output files will be changed accordingly.\n\n"
               "Version 1.2.4 of 26.09.2001\n",
               program, program));
}

void check_length(const std::string& name, std::size_t length) {
    if (length >= NAME_BUFFER)
        fatal(format("file name '%s' is too long (file names are kept to %zu characters)", name.c_str(),
                     NAME_BUFFER - 1));
}

// The word up to the '.' that starts its extension: the last '.' of its
// last path component.
std::string stem_of(const std::string& word) {
    std::size_t dot = word.rfind('.');
    std::size_t slash = word.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return word;
    return word.substr(0, dot);
}

// Names the files of roles [first, last] after the word.
void derive(Options& o, const std::string& word, int first, int last) {
    const std::string stem = stem_of(word);
    check_length(word, stem.size() + LONGEST_EXTENSION);
    for (int r = first; r <= last; ++r) o.files[r] = stem + EXTENSIONS[r];
}

int file_option(const char* word) {
    static const struct {
        const char* option;
        FileRole role;
    } table[] = {{"-hl", HL_LL},   {"-bh", BPN2_HL}, {"-bl", BPN2_LL}, {"-ph", PFA_HL}, {"-pl", PFA_LL},
                 {"-sh", SDL_HL},  {"-sl", SDL_LL},  {"-ih", IF_HL},   {"-il", IF_LL}};
    for (const auto& e : table)
        if (std::strcmp(word, e.option) == 0) return e.role;
    return -1;
}

// The outputs of the run are the low-level net, the HL -> LL references and
// the low-level references of the front-end files found; none may name the
// high-level net or a front-end file that is read.
void refuse_outputs_naming_inputs(const Options& o, const bool (&found)[FRONT_ENDS]) {
    std::vector<std::string> inputs = {o.files[HL_NET]};
    std::vector<int> outputs = {LL_NET, HL_LL};
    for (int k = 0; k < FRONT_ENDS; ++k)
        if (found[k]) {
            inputs.push_back(o.files[BPN2_HL + k]);
            outputs.push_back(BPN2_LL + k);
        }
    for (int role : outputs)
        if (const std::string* in = outfile::names_input(o.files[role], inputs))
            throw Failure(EXIT_SYNTAX, format("ERROR: output file '%s' would replace the input '%s'.\n",
                                              o.files[role].c_str(), in->c_str()));
}

}  // namespace

Options parse_arguments(int argc, const char* const* argv, bool blocks, bool phantoms) {
    const char* program = argc > 0 ? argv[0] : "flatnet";
    Options o;
    if (blocks) o.flags |= OPT_BLOCKS;
    if (phantoms) o.flags |= OPT_PHANTOMS;
    int slot = HL_NET;           // where the next file word goes; -1: nowhere
    bool slot_by_option = false;  // the slot was selected by a file option
    for (int i = 1; i < argc; ++i) {
        const char* w = argv[i];
        if (std::strcmp(w, "-") == 0) o.flags |= OPT_REMOVE_WEIGHTED;
        else if (std::strcmp(w, "-b") == 0) o.flags |= OPT_BLOCKS;
        else if (std::strcmp(w, "-nb") == 0) o.flags &= ~OPT_BLOCKS;
        else if (std::strcmp(w, "-p") == 0) o.flags |= OPT_PHANTOMS;
        else if (std::strcmp(w, "-np") == 0) o.flags &= ~OPT_PHANTOMS;
        else if (int role = file_option(w); role >= 0) {
            slot = role;
            slot_by_option = true;
        } else {
            if (slot < 0) usage(program);
            const std::string word = w;
            check_length(word, word.size());
            o.files[slot] = word;
            if (slot == HL_NET) {
                derive(o, word, LL_NET, IF_LL);
                slot = LL_NET;
            } else if (slot == LL_NET) {
                derive(o, word, HL_LL, IF_LL);
                slot = -1;
            } else {
                slot = -1;
            }
            slot_by_option = false;
        }
    }
    // A file option without its name is a usage error as well.
    if (o.files[HL_NET].empty() || slot_by_option) usage(program);
    return o;
}

void run(const Options& o) {
    bool found[FRONT_ENDS];
    bool any = false;
    for (int k = 0; k < FRONT_ENDS; ++k) {
        std::FILE* f = std::fopen(o.files[BPN2_HL + k].c_str(), "r");
        found[k] = f != nullptr;
        if (f) std::fclose(f);
        any = any || found[k];
    }
    refuse_outputs_naming_inputs(o, found);
    if (!any)
        std::fprintf(stderr, "Warning: none of %s, %s, %s, %s found\n", o.files[BPN2_HL].c_str(),
                     o.files[PFA_HL].c_str(), o.files[SDL_HL].c_str(), o.files[IF_HL].c_str());
    NameTable names;
    HLNet net = read_hl_net(o.files[HL_NET]);
    for (int k = 0; k < FRONT_ENDS; ++k)
        if (found[k]) read_x_HLref(net, o.files[BPN2_HL + k], k);
    LLNet ll = unfold_net(net, names);
    if (o.flags & OPT_REMOVE_WEIGHTED) remove_weighted_transitions(ll);
    renumber_ll_net(ll);
    write_ll_net(ll, net, o.files[LL_NET], o.flags);
    write_hl_ll_references(ll, o.files[HL_LL], o.flags);
    for (int k = 0; k < FRONT_ENDS; ++k)
        if (net.front_ends[k].read) write_x_LLref(ll, net, o.files[BPN2_LL + k], o.flags, k);
    std::string failed;
    if (!outfile::commit(&failed))
        throw Failure(EXIT_SYNTAX, format("ERROR: could not write file '%s'.\n", failed.c_str()));
}

int flatnet_main(int argc, const char* const* argv) {
    mnet::install_memory_handler();
    try {
        run(parse_arguments(argc, argv, std::getenv("FLATNET_BLOCKS") != nullptr,
                            std::getenv("FLATNET_PHANTOM") != nullptr));
        return EXIT_OK;
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fputs(f.what(), stderr);
        return f.status();
    }
}

}  // namespace flatnet
