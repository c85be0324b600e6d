#pragma once

namespace vqx::cli {

// vqxctl's exit status; scripts rely on these numbers, so they never change.
enum ExitCode : int {
  kExitOk = 0,
  kExitDifferent = 1,       // diff: the two sides differ
  kExitUsage = 2,           // the command line is wrong
  kExitPortNotOpened = 3,   // the serial port could not be opened
  kExitNotResponding = 4,   // the unit did not answer (escape, a query, the re-read)
  kExitRefused = 5,         // the unit did not take a setting, or a command could not be sent
  kExitBadInput = 6,        // an input file is damaged or asks for what cannot be set
  kExitFileError = 7,       // an output file or the preferences file could not be written
  kExitLeftInCommandMode = 8,  // the unit did not confirm TRAN: it may still be in command mode
  kExitFailed = 9,          // vqxctl itself failed (out of memory, a fault); the message says what
  kExitNotProvisioned = 10, // fleet: some units were not provisioned; the summary says which
  kExitHungUp = 129,        // SIGHUP (the terminal was closed): the unit was returned to transparent mode first (else 8)
  kExitInterrupted = 130,   // Ctrl-C or SIGTERM: the unit was returned to transparent mode first (else 8)
};

}  // namespace vqx::cli
