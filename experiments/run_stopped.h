#pragma once

// Ends a run early with an exit status, once the user has been told why: thrown by the
// drivers (on every process of the run alike) and caught only at the entry point. It is no
// std::exception on purpose: the entry point's handler for those prints the option table.
struct RunStopped {
  int status;
};
