// The frames one run of vxt4710-cli sends, from its options (the plans
// themselves: core/frame_plan.h).
#pragma once

#include "core/cli_options.h"
#include "core/frame_plan.h"
#include "core/text_input.h"

// Everything to send for options (the commands that talk to the chip).
// Reads the text of speak from its file or standard input through read.
FramePlan PlanFrames(const CliOptions& options, const TextFileReader& read);

// The word a refused plan's result names: "input", "data" or "usage".
const char* PlanRefusalKind(int status);

// Whether the plan changes the chip's rate, which a socket:// port's
// server would not follow.
bool PlanChangesRate(const FramePlan& plan);
