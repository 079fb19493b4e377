// The waits that only bound a busy unit (its replies to an upload command, its prompt after
// the reboot, a write it holds up) last seconds. A test build divides them by
// LUMIVANE_LONG_WAIT_DIVISOR, so that its runs against the simulated unit do not spend them;
// the reads that decide whether a reply came at all keep their length. The programs never set it.
#pragma once

#ifdef LUMIVANE_LONG_WAIT_DIVISOR
#define LONG_WAIT_MS(ms) ((ms) / LUMIVANE_LONG_WAIT_DIVISOR)
#else
#define LONG_WAIT_MS(ms) (ms)
#endif
