// The end-to-end scenarios under Wine: each runs in a process of its own (the
// stand-in shell's process, shell32.exe), with vesk on a thread beside the
// shell, written with the checks of ../conformance/check.h.
#pragma once

#include <string>

#include "check.h"
#include "host.h"

namespace e2e {

// Where the simulator's renderings lie (empty: none) and where to write
// what this side captured.
const std::string& ReferenceFolder();
const std::string& OutputFolder();

// The scenario cannot run here; it is reported as skipped.
void Skip(const char* why);

// Starts the shell with the theme of faces.h, then vesk, and waits for the
// button; null if any of it fails (with the failure recorded).
HWND StartVeskInShell();

}  // namespace e2e
