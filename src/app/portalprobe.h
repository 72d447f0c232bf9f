#pragma once

#include "app/portalchoice.h"

// Whether something accepts a TCP connection at a portal on this machine (localhost: at
// 127.0.0.1 or ::1). Waits at most a short while; a host that is not this machine is never
// asked, and counts as not answering.
bool answersOnThisMachine(const PortalChoice& portal);
