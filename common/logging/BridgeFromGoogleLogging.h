#pragma once

// BridgeFromGoogleLogging: a glog log sink that hands every message glog gives
// its sinks to the process logger database (LoggerDB::get()), so that code
// logging through glog reaches the same handlers, files and layouts as the
// framework's own messages.
//
// A message goes to the category named after glog's full file name (a/b/c is
// the category a.b.c), at the level mapped from glog's severity: INFO -> INFO,
// WARNING -> WARN, ERROR -> ERR, FATAL -> FATAL, anything else -> INFO2. The
// category's level is checked before any text is copied. The message carries
// the current time, glog's base file name and line, no function name, and the
// thread id of the thread that logged. A FATAL message flushes every handler
// and ends the process, as any FATAL message of the framework does.
//
// Lifetimes: the constructor registers the sink with glog and the destructor
// unregisters it (a failure to unregister ends the process). Every registered
// bridge forwards every message, so two bridges deliver each message twice.
//
// Thread safety: glog calls send on the logging thread, on any number of
// threads at once; the bridge keeps no state.

#include <glog/logging.h>

#include <cstddef>
#include <ctime>

namespace quorvane {

class BridgeFromGoogleLogging : public google::LogSink {
 public:
  BridgeFromGoogleLogging();
  ~BridgeFromGoogleLogging() override;
  BridgeFromGoogleLogging(const BridgeFromGoogleLogging&) = delete;
  BridgeFromGoogleLogging& operator=(const BridgeFromGoogleLogging&) = delete;

  // glog's default for the form carrying its own time record passes the
  // message on to the form below.
  using google::LogSink::send;
  void send(google::LogSeverity severity, const char* fullFilename, const char* baseFilename,
            int line, const std::tm* time, const char* message, size_t messageLength) override;
};

}  // namespace quorvane
