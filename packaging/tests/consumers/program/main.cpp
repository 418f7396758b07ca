// A program of an application's own, built against the installed package
// only (CMake's find_package, or pkg-config): it starts logcore's channels in
// the directory it is given, hands logcore one message, flushes and finds the
// line in the main file. Exit status 0 when it is there once.

#include <iostream>
#include <string>

#include <kestro/logcore.h>

#include "../common/MainLogFile.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " <log directory>\n";
    return 2;
  }
  namespace logcore = quorvane::kestro::logging;
  logcore::initLogging(argv[1], "consumer", "u7", /*traceEnabled=*/false);

  quorvane::LogCategory* category = quorvane::LoggerDB::get().categoryFor("consumer.program");
  const quorvane::LogMessage message(category, quorvane::LogLevel::WARN, __FILE__, __LINE__,
                                     __func__, std::string("a line from the consumer program"));
  logcore::handleMessage(message, category);
  logcore::flushLogs();

  const bool found =
      consumer::appears(consumer::mainLogText(argv[1]), "a line from the consumer program", 1);
  logcore::deinitLogging();
  return found ? 0 : 1;
}
