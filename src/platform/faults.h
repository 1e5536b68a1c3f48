// Allocation refusals for the tests. Every memory block, surface, sound
// buffer, opened file and started thread asks here first; outside the tests
// counting is off and the question costs one relaxed atomic load.
#pragma once

namespace platform {

// True when this allocation is to fail as if the resource could not be had.
bool AllocationRefused();

}  // namespace platform
