/* Start-up services of the analyser's programs: the invocation name, text
 * files looked up in the installation directory named by TULMPATH, argument
 * macros from cfg/<baseName>.cfg and the usage text of cfg/<baseName>.msg.
 *
 * A macro file holds lines "name word...": an argument "--name" on the
 * command line is replaced by the words (possibly none); '#' starts a
 * comment; the first line that names a macro wins. */
#ifndef INVOC_H
#define INVOC_H

#include <stdio.h>

#include "absolute.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The name the program was invoked under (printed in the usage). */
extern const char *myName;
/* The program's fixed name, under which its cfg files are found. */
extern const char *baseName;

/* A new string: the part of name after its last '/'. */
char *Invoc(const char *name);
/* Opens subdir/name for reading ("rb" when pseudo).  With skip 0 it tries
 * that name first and, only when it does not exist, $TULMPATH/subdir/name;
 * with skip 1 it goes to $TULMPATH/subdir/name at once (subdir/name itself
 * when TULMPATH is unset or empty).  Null on failure, after
 * "\nCannot open file %s for reading\n" with the last name tried and the
 * errno line. */
FILE *OpenText(const char *subdir, const char *name, int skip, int pseudo);
/* Expands the argument macros of cfg/<baseName>.cfg.  On return *argc and
 * *argv are the arguments: the caller's own when nothing was replaced, else
 * a new vector ending with a null entry. */
void ExpArgs(int _argc_, char **_argv_, int *argc, char ***argv);
/* Prints "\nUsage:  <myName> " and the lines of cfg/<baseName>.msg (or
 * escOptions and a newline when that file cannot be opened) on _err, then
 * exits with status. */
void MsgExit(const char *escOptions, int status) ANA_NORETURN;

#ifdef __cplusplus
}
#endif

#endif
