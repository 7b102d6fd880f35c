// The registry kept in one per-user .reg file; Linux backend of platform/registry.h.
#pragma once

#include "platform/registry.h"

#include <string>

// Where the current user's file lives: $XDG_CONFIG_HOME/marlowick/settings.reg when that variable
// holds an absolute path, else ~/.config/marlowick/settings.reg; empty when there is no home.
std::string GetRegFilePath();

// A registry over the given file. Every write replaces the file atomically under a lock held
// on the file's name plus ".lock" (never through a symbolic link), so writers in several
// processes lose nothing; a transaction holds that lock from its start and writes all its values
// in one replace. A reading transaction takes no lock: one read of the file is one state. A
// damaged file is renamed to its name plus ".damaged" (or ".damaged.N") and reads as holding no
// keys; a file that is there but cannot be read answers kRegErrAccessDenied or kRegErrIoFailed
// and is never replaced.
std::unique_ptr<CRegistry> OpenRegFileRegistry(const std::string& path);
