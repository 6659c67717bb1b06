#include "testutil.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "alloc.h"
#include "petri_test.h"

// Leak checking is pointless in a child that ends through exit() with the
// test's objects still alive; the hook exists only under the sanitizer.
extern "C" void __lsan_disable() __attribute__((weak));

namespace supporttest {

namespace {

std::string TempName(const char* stem) {
    const char* dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir != nullptr && *dir ? dir : "/tmp") + "/" + stem + "XXXXXX";
    return pattern;
}

}  // namespace

ChildRun RunChild(const std::function<void()>& body) {
    std::string outName = TempName("support_out");
    std::string errName = TempName("support_err");
    int outFd = mkstemp(outName.data());
    int errFd = mkstemp(errName.data());
    if (outFd < 0 || errFd < 0)
        throw std::runtime_error("mkstemp failed");
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (__lsan_disable)
            __lsan_disable();
        _out = fdopen(outFd, "w");
        _err = fdopen(errFd, "w");
        body();
        std::fflush(_out);
        std::fflush(_err);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    close(outFd);
    close(errFd);
    ChildRun run;
    run.exited = WIFEXITED(status);
    run.code = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.out = testsupport::read_file(outName);
    run.err = testsupport::read_file(errName);
    std::remove(outName.c_str());
    std::remove(errName.c_str());
    return run;
}

std::string Hex(const unsigned char* bytes, std::size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

}  // namespace supporttest

// Allocation failures are part of what the tests check: let the sanitizer's
// allocator return null as the system's does.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }
