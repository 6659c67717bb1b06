// statecast: translates an IF specification into an M-net.
#include <string>
#include <vector>

#include "driver.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (int code = statecast::read_command_line(args)) return code;
    return statecast::run();
}
