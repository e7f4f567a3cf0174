#include "platform/ProcessControl.h"

#include <signal.h>

namespace corvix {

bool PosixProcessControl::probe(int pid) {
    return pid > 0 && ::kill(pid, 0) == 0;
}

bool PosixProcessControl::requestTermination(int pid) {
    return pid > 0 && ::kill(pid, SIGTERM) == 0;
}

}  // namespace corvix
