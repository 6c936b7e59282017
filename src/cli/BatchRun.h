#pragma once
// zemconvert -j N: up to N inputs converted at once, each by a zemconvert
// process of its own (the media layer keeps one graph a process). The
// processes' status lines are printed as each one ends, in the form of a
// single run; the progress shows one line per running file and the batch's
// time left.

#include <atomic>
#include <csignal>
#include <string>
#include <vector>

#include "CliOptions.h"

namespace zem::cli {

// What a job's process receives when the batch dies before it: it gives up
// at once and leaves nothing.
inline constexpr int kParentGoneSignal = SIGUSR1;

// Converts options.inputs into outputs (same order). `interrupts` counts the
// Ctrl+Cs so far: the first stops the running files (what they converted is
// written) and starts no more, a second makes them give up at once. Returns
// true when every input converted.
bool RunBatch(const CliOptions& options, const std::vector<std::string>& outputs, const std::atomic<int>& interrupts);

} // namespace zem::cli
