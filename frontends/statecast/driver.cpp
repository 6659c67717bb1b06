#include "driver.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <memory>
#include <unordered_map>

#include "commnet.h"
#include "mnet.h"
#include "mnet_algebra.h"
#include "mnet_hlnet.h"
#include "outfile.h"
#include "parser.h"
#include "proc2net.h"
#include "ref.h"
#include "settings.h"

namespace statecast {

Settings settings;

const char* const usage_text =
    "\nstatecast -- translate an IF program into an M-Net\n\nUsage: statecast [options] <sdlfile> [FileOptions]\n\n"
    "     Options:\n      -E        do not model environment\n      -S        no scoping\n"
    "      -BS#      use different signalroute net\n      -BP#      use different process net\n"
    "      -DC#      set default signalroute capacity\n"
    "      -DS#      set default maximum number of signalroute instances\n"
    "      -DQ#      set default capacity of input queues\n"
    "      -DP#      set default maximum number of process instances\n      -O#       set overflow flag\n\n"
    "     FileOptions:\n      -o <filename>   specify alternate M-Net file\n"
    "      -r <filename>   specify alternate reference file\n"
    "      -i <filename>   specify alternate file for additional information\n"
    "      -p <filename>   specify alternate file for additional properties\n\n"
    "All file names not explicitly stated on the command line will\n"
    "default to the input file's basename plus appropriate extensions.\n\n"
    "Version 0.1.1 (11.10.2001)\n\n";

namespace {

int usage() {
    std::fputs(usage_text, stderr);
    return 1;
}

// The word with the extension replaced: the text after the last '.' of the
// last path component, a '.' appended when that component has none.
std::string with_extension(const std::string& word, const char* extension) {
    std::size_t slash = word.rfind('/');
    std::size_t dot = word.rfind('.');
    std::string stem = word;
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) stem += ".";
    else stem.erase(dot + 1);
    return stem + extension;
}

}  // namespace

int read_command_line(const std::vector<std::string>& args) {
    settings = Settings();
    char pending = 0;
    bool have_input = false;
    for (const std::string& word : args) {
        if (!word.empty() && word[0] == '-') {
            for (std::size_t i = 1; i < word.size();) {
                char c = word[i++];
                switch (c) {
                case 'E': settings.model_environment = false; break;
                case 'S': mnet::MNetOptions[0] |= mnet::OPT0_NO_SCOPING; break;
                case 'B': {
                    if (i + 1 >= word.size() || (word[i] != 'S' && word[i] != 'P') ||
                        !std::isdigit(static_cast<unsigned char>(word[i + 1])))
                        return usage();
                    (word[i] == 'S' ? settings.route_variant : settings.process_variant) = word[i + 1] - '0';
                    i += 2;
                    break;
                }
                case 'D': {
                    if (i >= word.size() || std::string("CSQP").find(word[i]) == std::string::npos) return usage();
                    char which = word[i++];
                    if (i >= word.size() || !std::isdigit(static_cast<unsigned char>(word[i]))) return usage();
                    long long n = 0;
                    while (i < word.size() && std::isdigit(static_cast<unsigned char>(word[i]))) {
                        n = std::min<long long>(n * 10 + (word[i++] - '0'), INT_MAX);
                    }
                    std::int32_t value = static_cast<std::int32_t>(n);
                    if (which == 'C') settings.route_capacity = value;
                    else if (which == 'S') settings.route_instances = value;
                    else if (which == 'Q') settings.queue_capacity = value;
                    else settings.process_instances = value;
                    break;
                }
                case 'O':
                    if (i >= word.size()) return usage();
                    settings.overflow = word[i++] - '0';
                    break;
                case 'o': case 'r': case 'i': case 'p': pending = c; break;
                default:
                    std::fprintf(stderr, "unknown flag: '%c'\n", c);
                    return 1;
                }
            }
            continue;
        }
        switch (pending) {
        case 'o':
            settings.net_file = word;
            settings.reference_file = with_extension(word, "if_hl_ref");
            settings.information_file = with_extension(word, "if_info");
            break;
        case 'r': settings.reference_file = word; break;
        case 'i': settings.information_file = word; break;
        case 'p':
            settings.properties_file = word;
            settings.explicit_properties = true;
            break;
        default:
            if (have_input) return usage();
            have_input = true;
            settings.input = word;
            settings.net_file = with_extension(word, "hl_net");
            settings.properties_file = with_extension(word, "if_prop");
            settings.reference_file = with_extension(word, "if_hl_ref");
            settings.information_file = with_extension(word, "if_info");
            settings.explicit_properties = false;
            break;
        }
        pending = 0;
    }
    if (!have_input) return usage();
    // No output may replace the specification it is made from or its
    // properties file.
    for (const std::string* out : {&settings.net_file, &settings.reference_file, &settings.information_file})
        if (outfile::names_input(*out, {settings.input, settings.properties_file})) {
            std::fprintf(stderr, "Error: output file %s would replace the input!\n", out->c_str());
            return 1;
        }
    // Each output is written after the one before: a shared name would leave
    // only the last of them.
    const std::string* outputs[] = {&settings.net_file, &settings.reference_file, &settings.information_file};
    for (std::size_t i = 0; i < 3; ++i)
        for (std::size_t j = i + 1; j < 3; ++j)
            if (outfile::same_file(*outputs[i], *outputs[j])) {
                std::fprintf(stderr, "Error: output files %s and %s are the same file!\n", outputs[i]->c_str(),
                             outputs[j]->c_str());
                return 1;
            }
    return 0;
}

namespace {

bool read_source(const std::string& name, std::string& text) {
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    std::unique_ptr<std::FILE, Closer> f(std::fopen(name.c_str(), "rb"));
    if (!f) return false;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) text.append(buffer, n);
    return !std::ferror(f.get());
}

// The reference lists of every element, kept across the post-processing,
// which reorders them.  While the net is written they are taken off the
// elements: the IF references go to the reference file, and the net file's
// reference labels would only hold empty texts.
struct SavedReferences {
    std::unordered_map<const void*, std::vector<mnet::RefEntry>> lists;

    void take(mnet::MNet* net) {
        for (mnet::MPlace* p = net->first_place; p; p = p->next) lists[p] = std::move(p->refs), p->refs.clear();
        for (mnet::MTransition* t = net->first_trans; t; t = t->next) lists[t] = std::move(t->refs), t->refs.clear();
        for (mnet::MTransition* t = net->first_phantom; t; t = t->next)
            lists[t] = std::move(t->refs), t->refs.clear();
    }
    void restore(mnet::MNet* net) {
        auto back = [&](const void* e, std::vector<mnet::RefEntry>& refs) {
            auto it = lists.find(e);
            if (it != lists.end()) refs = it->second;
        };
        for (mnet::MPlace* p = net->first_place; p; p = p->next) back(p, p->refs);
        for (mnet::MTransition* t = net->first_trans; t; t = t->next) back(t, t->refs);
        for (mnet::MTransition* t = net->first_phantom; t; t = t->next) back(t, t->refs);
    }
};

}  // namespace

int run() {
    mnet::frontend_kind = mnet::FE_IF;
    mnet::install_memory_handler();
    std::string text;
    if (!read_source(settings.input, text)) {
        std::fprintf(stderr, "Error: Could not open file %s!\n", settings.input.c_str());
        return 2;
    }
    read_if_properties(settings.properties_file, settings.explicit_properties);

    std::printf("Parsing program %s ...\n", settings.input.c_str());
    std::fflush(stdout);
    mnet::parsing_flag = 1;
    mnet::error_counter = 0;
    Program program;
    ParseResult result = parse_if(text, program);
    if (result != PARSE_OK || mnet::error_counter) {
        std::fflush(stdout);
        std::fputs("Parser indicated errors; aborting\n", stderr);
        return 3;
    }
    mnet::parsing_flag = 0;
    mnet::scanner_token.clear();

    mnet::init_action_buffers();
    mnet::init_var_buffers();
    mnet::init_symtabs();
    mnet::init_blocks();
    number_system(program);

    mnet::MNet* net = translate_system(program);
    if (!net) mnet::fatal("system %s has no process part: no net to write", program.system->name.c_str());

    mnet::MNetOptions[0] |= mnet::OPT0_CHECK_CONSISTENCY;
    mnet::net_file_name = settings.net_file;
    mnet::source_file_name = settings.input;
    SavedReferences saved;
    saved.take(net);
    mnet::finish_net(net);
    // The library writes no net for an empty name; here every name is set
    // (an empty one only by an empty word after -o), so it cannot be opened.
    if (settings.net_file.empty()) {
        std::fflush(stdout);
        std::fputs("Error: Could not open file  !\n", stderr);
        return 3;
    }
    saved.restore(net);
    write_if_references(settings.reference_file, net, text);
    write_if_information(settings.information_file, program);
    std::fflush(stdout);
    mnet::commit_outputs();
    return 0;
}

}  // namespace statecast
