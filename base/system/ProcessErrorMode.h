#pragma once

// Keeps the system from showing its crash dialog for this process (Windows:
// adds SEM_NOGPFAULTERRORBOX to the error mode, keeping the flags already
// set). POSIX has no such dialog: nothing to do.
void SuppressCrashDialog();
