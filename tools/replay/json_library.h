// simdjson, the same on both targets. GCC's win32 thread model has no
// std::thread or std::mutex, which simdjson's background parsing of a
// document stream uses wherever _MT says the C library is thread-safe (as
// MinGW's always does). On Windows simdjson is therefore seen without
// _MT: a stream is parsed on the calling thread, with the same results.
// Every use of simdjson goes through this header, so that all of them see
// the same classes.
#pragma once

#if defined(_WIN32)
#include <cstddef> // defines _MT
#undef _MT
#include <simdjson.h>
#define _MT
#else
#include <simdjson.h>
#endif
