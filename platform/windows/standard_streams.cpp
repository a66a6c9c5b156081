// Standard output on Windows, as the loop looks at it between lines.
#include "platform/standard_streams.h"

// A Windows pipe tells that its reader has gone only to a write, which the
// program's output reports (ERROR_NO_DATA) as it writes; there is nothing to
// look at between lines.
bool StandardOutputReaderGone() {
    return false;
}
