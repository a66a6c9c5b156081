// The initial text file as this platform reads it.
#pragma once

#include "core/initial_text.h"

// Opens the file in the current working directory, creating it empty when it
// does not exist, and reads it whole. A regular file over the limit is left
// alone; one that can neither be opened nor created, is no regular file (a
// directory, a pipe) or cannot be read is unavailable.
InitialFile ReadInitialFile();
