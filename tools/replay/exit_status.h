// norvi-replay's exit statuses, by name; the help's footer lists them.
#pragma once

namespace replay {

enum ExitStatus : int {
    exitRan = 0,       // the trace or capture ran
    exitCannotRun = 1, // the plugin, the game folder or an output failed
    exitBadInput = 2,  // a bad command line, trace or capture
    exitWarned = 3,    // with --fail-on-warning: the plugin posted a warning
};

} // namespace replay
