// The fuzz targets' own checks: what must hold for every input, beyond not crashing.
#pragma once

// Stops the run with `what` on stderr: a fuzz target's own check failed. Under the
// fuzzer the abort is reported as a crash and its input saved; the replay test fails.
[[noreturn]] void FuzzCheckFailed(const char* what, const char* file, int line);

// Checks a condition that must hold for every input.
#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : FuzzCheckFailed(#condition, __FILE__, __LINE__))
