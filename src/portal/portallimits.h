#pragma once

#include <chrono>

// What one client may hold of the portal (see PortalServer and PortalDoor).
struct PortalLimits {
    // Open connections in all (fewer when the process may not open that many files).
    unsigned connections = 2048;
    // Open connections from one client address.
    unsigned perAddress = 64;
    // From a connection's start, or the end of its previous answer, to the end of the
    // request head.
    std::chrono::milliseconds headDeadline{10000};
    // How long a connection may stay silent.
    unsigned idleSeconds = 5;
};
