// The frames one run of vxt4710-cli sends, from its options (the plans
// themselves are the core's: core/frame_plan.h).
#pragma once

#include "cli/cli_options.h"
#include "core/frame_plan.h"

// Everything to send for options (the commands that talk to the chip). Reads
// the text of speak from its file or standard input.
FramePlan PlanFrames(const CliOptions& options);
