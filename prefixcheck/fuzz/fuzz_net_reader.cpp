// Fuzz target of the net reader: every input is written to a file and read
// with read_VOS, in the standard edition and in cosweep's.  The reader ends
// the program on bad input (exit 4 or 10), so each input is read in a child
// process; any other end of the child (a signal, a sanitizer report, another
// exit code) is a fault.  Coverage of the child does not reach libFuzzer:
// with it, this target is a mutation loop too.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz_target.h"
#include "net.h"
#include "vos.h"

namespace {

std::string input_file() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir && *dir ? dir : "/tmp") + "/fuzz_net_reader." + std::to_string(::getpid()) + ".ll_net";
    }();
    return path;
}

// The reader's exit ends the child at once with its code, before any exit
// handler of the fuzzing engine or of the leak checker takes it for a fault
// (the reader leaves its records to the end of the process).
void end_child(int status, void*) { ::_exit(status); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = input_file();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    for (netlib::Edition edition : {netlib::Edition::Standard, netlib::Edition::Cosweep}) {
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            // The reader's messages are expected; a fault shows in the
            // child's end, and the saved input reproduces its report.
            ::dup2(::open("/dev/null", O_WRONLY), 1);
            ::dup2(1, 2);
            ::on_exit(end_child, nullptr);
            netlib::edition = edition;
            netlib::vos_options.keep_extras = edition == netlib::Edition::Cosweep;
            netlib::NET* net = netlib::read_VOS(path);
            netlib::delete_net(net);
            std::fflush(nullptr);
            ::_exit(0);
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child) std::abort();
        const bool expected_end =
            WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 4 || WEXITSTATUS(status) == 10);
        if (!expected_end) {
            std::fprintf(stderr, "fuzz_net_reader: the reader ended with status %d\n", status);
            std::abort();
        }
    }
    return 0;
}
