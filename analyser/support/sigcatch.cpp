// Signal handling.  The handlers are one-shot (the disposition returns to the
// default on delivery, and the handler itself then ignores both signals).
// Interrupted system calls are restarted, so that a signal in the middle of
// a stream write loses nothing; the binary file layer retries on EINTR too.
#include "sigcatch.h"

#include <unistd.h>

volatile sig_atomic_t continueGeneration = 1;
volatile sig_atomic_t stopFlag = 0;

namespace {

void SetDisposition(int sig, void (*handler)(int), int flags) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(sig, &action, nullptr);
}

void Ignore(int sig) { SetDisposition(sig, SIG_IGN, 0); }

}  // namespace

extern "C" {

void IgnoreSignals(void) {
    Ignore(SIGHUP);
    Ignore(SIGQUIT);
    Ignore(SIGTERM);
}

void SetSigHandlers(void) {
    SetDisposition(SIGINT, KSGeneration, SA_RESETHAND | SA_RESTART);
    SetDisposition(SIGTSTP, KSGeneration, SA_RESETHAND | SA_RESTART);
}

void KSGeneration(int sig) {
    if (sig == SIGINT) {
        Ignore(SIGTSTP);
        Ignore(SIGINT);
        continueGeneration = 0;
        stopFlag = 0;
    } else if (sig == SIGTSTP) {
        Ignore(SIGINT);
        Ignore(SIGTSTP);
        stopFlag = 1;
        continueGeneration = 1;
    }
}

void IgnSigHandlers(void) {
    Ignore(SIGINT);
    Ignore(SIGTSTP);
}

void Suspend(void) { kill(getpid(), SIGSTOP); }

}  // extern "C"
