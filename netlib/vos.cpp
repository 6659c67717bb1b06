// The VOS low-level net format: reader and writers.
#include "vos.h"

#include "scanner.h"

namespace netlib {

VosOptions vos_options;

NET* read_VOS(const std::string& path) {
    scan.file = path;
    scan.line = 1;
    syntax_error("net reader not available yet");
}

NET* read_new_VOS(const std::string& path) { return read_VOS(path); }

void write_VOS(NET*, const std::string& path) {
    scan.file = path;
    syntax_error("net writer not available yet");
}

void write_VOS_PlainNet(NET*, const std::string& path, bool) {
    scan.file = path;
    syntax_error("net writer not available yet");
}

}  // namespace netlib
