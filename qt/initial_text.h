// The initial text file as the window reads it: the core's reader on the
// platform's file service.
#pragma once

#include "core/initial_text.h"
#include "platform/files.h"

inline InitialFile ReadInitialFile() {
    return LoadInitialFile(files::Read);
}
