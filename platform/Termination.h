#pragma once

// The process-wide word that the program has been told to end (SIGTERM, SIGINT or SIGHUP). The
// signal handler sets it; whatever could keep the program from ending in time asks it: a
// download gives up, a message box answers at once instead of waiting for a person.
void RequestTermination() noexcept; // safe in a signal handler
bool TerminationRequested() noexcept;
