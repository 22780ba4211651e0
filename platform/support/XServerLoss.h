#pragma once

// The pointer reader and the Qt display each hold a connection to the same X
// server and each notice on their own when it goes away. The one that
// notices first says so on standard error; the other keeps quiet, so the
// user reads one line.

// True for the first caller in the process, false for every later one.
// Safe in exit handlers: one atomic exchange.
bool ClaimXServerLossReport();
