// Standard input read from its descriptor by a buffer of needle's own, which
// can tell a read that failed from the end of the input.
#pragma once

#include <string>

// Makes std::cin read descriptor 0 through that buffer. A descriptor left
// non-blocking (a shell may hand one over) is waited on, not taken for a
// failure; a read that fails ends the input as its end does, and the error
// is kept for standardInputError(). Only the first call does anything, as
// with std::ios::sync_with_stdio, so that a program that put a buffer of its
// own in place after it keeps that one.
void readStandardInputDirectly();

// What the error that ended standard input was, as strerror says it; empty
// while none has.
std::string standardInputError();
