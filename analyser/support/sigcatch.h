/* Signal handling of the analyser: an interrupt (SIGINT) or a terminal stop
 * (SIGTSTP) does not end or stop a generation but sets two flags that the
 * engine main reads between nodes; hang-up, quit and termination can be
 * ignored altogether. */
#ifndef SIGCATCH_H
#define SIGCATCH_H

#include <signal.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Written by the handler only: SIGINT sets both to 0, SIGTSTP both to 1.
 * At start continueGeneration is 1 and stopFlag 0. */
extern volatile sig_atomic_t continueGeneration;
extern volatile sig_atomic_t stopFlag;

/* Ignores SIGHUP, SIGQUIT and SIGTERM for the rest of the run. */
void IgnoreSignals(void);
/* Installs KSGeneration for SIGINT and SIGTSTP, one-shot: the first caught
 * signal leaves both ignored until SetSigHandlers runs again. */
void SetSigHandlers(void);
/* The handler: on SIGINT or SIGTSTP it ignores both signals and sets the
 * flags; other signal numbers do nothing. */
void KSGeneration(int sig);
/* Ignores SIGINT and SIGTSTP. */
void IgnSigHandlers(void);
/* Stops the process with SIGSTOP until it is continued from outside. */
void Suspend(void);

#ifdef __cplusplus
}
#endif

#endif
