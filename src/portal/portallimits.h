#pragma once

#include <chrono>
#include <string>
#include <vector>

// What one client may hold of the portal (see PortalServer and PortalDoor).
struct PortalLimits {
    // Open connections in all (fewer when the process may not open that many files).
    unsigned connections = 2048;
    // Open connections from one client address; 0: as many as in all.
    unsigned perAddress = 64;
    // Proxies in front of the portal (nginx, a CDN's edge), as addressKey() gives them: one
    // stands for many clients, so it is not held to perAddress, and the client it names in
    // X-Forwarded-For is the one the log names. Nobody else is believed.
    std::vector<std::string> trustedProxies;
    // From a connection's start, or the end of its previous answer, to the end of the
    // request head.
    std::chrono::milliseconds headDeadline{10000};
    // How long a connection may stay silent.
    unsigned idleSeconds = 5;
};
