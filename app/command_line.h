#pragma once

// Parses the options, refuses inconsistent settings, prints the start banner and hands the run
// to the driver of the chosen mode. Returns the process exit status.
int runCommandLine(int argc, const char* const argv[]);
