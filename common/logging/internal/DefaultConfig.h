#pragma once

// The configuration the process's LoggerDB starts with.

namespace quorvane {
class LoggerDB;
}

namespace quorvane::logging::internal {

// Applied once to the process database right after construction.
void applyDefaultConfig(LoggerDB& db);

}  // namespace quorvane::logging::internal
