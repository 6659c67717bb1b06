#include "formats.h"
#include "net.h"
#include "outputs.h"
#include "vos.h"

namespace trelmik {

netlib::NET* read_input_net(char kind, const std::string& path) {
    switch (kind) {
    case 'F': return netlib::read_FSA(path);
    case 'S': return netlib::read_STG(path);
    case 'G': return netlib::read_Matlab(path);
    case 'L': return netlib::read_LISP(path);
    default: return netlib::read_VOS(path);
    }
}

}  // namespace trelmik
