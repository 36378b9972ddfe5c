#pragma once

// The number of files (sockets included) the process may hold open.

// Raises the process's soft limit on open files to its hard limit and returns
// the soft limit then in force; -1 where the system sets no such limit
// (Windows: sockets are not counted against one).
long RaiseOpenFileLimit();
