#include "run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace minitest {

testsupport::RunResult spawn(const std::vector<std::string>& argv, const std::string& dir) {
    testsupport::RunResult r;
    const std::string out = dir + "/.spawn_out", err = dir + "/.spawn_err";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid;
    const int rc = posix_spawn(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return r;
    int st = 0;
    while (waitpid(pid, &st, 0) < 0) {
    }
    if (WIFEXITED(st)) r.exit_code = WEXITSTATUS(st);
    else if (WIFSIGNALED(st)) r.exit_code = 128 + WTERMSIG(st);
    r.out = testsupport::read_file(out);
    r.err = testsupport::read_file(err);
    return r;
}

}  // namespace minitest
