// The entry point every fuzz target defines, in libFuzzer's form, so that a
// target links either with libFuzzer or with the mutation loop of
// fuzz_driver.cpp.  A target returns 0 for every input it handles; a fault
// it finds ends the process (abort, or a sanitizer report).
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
