// progcast: the B(PN)2 compiler of the modelling road.  Program mode reads
// a B(PN)2 program and writes its M-net; synchronise mode (-j) reads an
// M-net and synchronises it over a list of actions.
#pragma once

namespace progcast {

// The whole program; returns the exit status (usage 1, unreadable source 2,
// parse errors 1 or 2, an output naming an input 3; the M-net library ends
// the program itself on fatal reports, unwritable outputs, unreadable or
// malformed nets and inconsistent nets).  The outputs are put in place only
// when the run succeeds.
int run(int argc, const char* const* argv);

}  // namespace progcast
