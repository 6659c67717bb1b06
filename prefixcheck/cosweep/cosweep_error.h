// An error of cosweep itself: its message goes to the named stream and the
// program ends with the code (the net library ends the program on its own).
#pragma once

#include <stdexcept>
#include <string>

namespace cosweep {

class CosweepError : public std::runtime_error {
public:
    enum class Stream { Out, Err };
    CosweepError(std::string message, Stream stream = Stream::Err, int code = 1)
        : std::runtime_error(message), text(std::move(message)), stream(stream), code(code) {}
    std::string text;   // the whole message (a name read from a file may hold NUL bytes)
    Stream stream;
    int code;
};

}  // namespace cosweep
