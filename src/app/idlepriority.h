#pragma once

// Puts the whole process at the lowest scheduling priority, so that fetching and parsing
// listings never competes with what the user is doing. Returns false when the system refused.
bool lowerToIdlePriority();
