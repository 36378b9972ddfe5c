#pragma once

// gettimeofday(struct timeval* tv, void* ignored): the current time as seconds
// and microseconds since 1970-01-01 00:00 UTC; always returns 0.
//
// POSIX systems have their own, declared by <sys/time.h>. The Windows build
// defines its own (TimeOfDay_win.cpp) against the same declaration: millisecond
// resolution (tv_usec is a multiple of 1000) and a 32-bit seconds field, as
// Windows' struct timeval has.
#include <sys/time.h>
