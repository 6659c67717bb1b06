// Signal handling, in forked children.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "sigcatch.h"
#include "testutil.h"

using supporttest::RunChild;

namespace {

// The flags as an exit status: continueGeneration * 2 + stopFlag.
[[noreturn]] void ExitWithFlags() { _exit(continueGeneration * 2 + stopFlag); }

}  // namespace

TEST(SigCatch, IgnoredSignalsDoNotEndTheProcess) {
    auto run = RunChild([] {
        IgnoreSignals();
        raise(SIGHUP);
        raise(SIGQUIT);
        raise(SIGTERM);
        _exit(42);
    });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.code, 42);
}

TEST(SigCatch, InterruptClearsBothFlagsAndTheNextSignalsAreIgnored) {
    auto run = RunChild([] {
        continueGeneration = 1;
        stopFlag = 1;
        SetSigHandlers();
        raise(SIGINT);
        if (continueGeneration != 0 || stopFlag != 0)
            ExitWithFlags();
        // Both ignored now: neither ends, stops nor changes anything.
        raise(SIGINT);
        raise(SIGTSTP);
        ExitWithFlags();
    });
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.code, 0);
}

TEST(SigCatch, TerminalStopSetsBothFlagsWithoutStopping) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        continueGeneration = 0;
        stopFlag = 0;
        SetSigHandlers();
        raise(SIGTSTP);
        if (continueGeneration != 1 || stopFlag != 1)
            _exit(1);
        raise(SIGTSTP);
        raise(SIGINT);
        // Installed again, the next interrupt is caught once more.
        SetSigHandlers();
        raise(SIGINT);
        _exit(continueGeneration == 0 && stopFlag == 0 ? 5 : 2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
    if (WIFSTOPPED(status)) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the child stopped";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 5);
}

TEST(SigCatch, SuspendStopsUntilContinued) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        IgnSigHandlers();
        raise(SIGINT);
        raise(SIGTSTP);
        Suspend();
        _exit(9);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, WUNTRACED), pid);
    ASSERT_TRUE(WIFSTOPPED(status));
    EXPECT_EQ(WSTOPSIG(status), SIGSTOP);
    kill(pid, SIGCONT);
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 9);
}
