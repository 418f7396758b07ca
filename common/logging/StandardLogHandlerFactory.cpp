#include "common/logging/StandardLogHandlerFactory.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/logging/CustomLogFormatter.h"
#include "common/logging/GlogStyleFormatter.h"
#include "common/logging/LogWriter.h"
#include "common/logging/StandardLogHandler.h"
#include "common/logging/internal/Quoted.h"

namespace quorvane {
namespace {

using logging::internal::quoted;

class GlogFormatterFactory : public StandardLogHandlerFactory::FormatterFactory {
 public:
  bool processOption(std::string_view, std::string_view) override { return false; }
  std::shared_ptr<LogFormatter> createFormatter(const std::shared_ptr<LogWriter>&) override {
    return std::make_shared<GlogStyleFormatter>();
  }
};

class CustomLogFormatterFactory : public StandardLogHandlerFactory::FormatterFactory {
 public:
  enum class Colored { ALWAYS, AUTO, NEVER };

  bool processOption(std::string_view name, std::string_view value) override {
    if (name == "log_format") {
      format_ = std::string(value);
      return true;
    }
    if (name == "colored") {
      if (value == "always") {
        colored_ = Colored::ALWAYS;
      } else if (value == "auto") {
        colored_ = Colored::AUTO;
      } else if (value == "never") {
        colored_ = Colored::NEVER;
      } else {
        throw std::invalid_argument("unknown colored type " + quoted(value) +
                                    ". Needs to be always/never/auto");
      }
      return true;
    }
    return false;
  }

  std::shared_ptr<LogFormatter> createFormatter(
      const std::shared_ptr<LogWriter>& logWriter) override {
    bool colored =
        colored_ == Colored::ALWAYS || (colored_ == Colored::AUTO && logWriter->writesToTerminal());
    return std::make_shared<CustomLogFormatter>(format_, colored);
  }

 private:
  std::string format_;
  Colored colored_ = Colored::NEVER;
};

// The options of one handler, taken one by one: each goes to the formatter
// and writer factories, and the framework's own ("formatter", "level",
// "sync_level") are read here. Errors are collected, so that one report names
// every bad option.
class OptionReader {
 public:
  OptionReader(StandardLogHandlerFactory::WriterFactory& writerFactory,
               StandardLogHandlerFactory::FormatterFactory& formatterFactory)
      : writerFactory_(writerFactory), formatterFactory_(formatterFactory) {}

  void read(const std::string& name, const std::string& value) {
    bool handled = false;
    try {
      handled = formatterFactory_.processOption(name, value);
      handled = writerFactory_.processOption(name, value) || handled;
    } catch (const std::exception& ex) {
      errors_.push_back("error processing option " + quoted(name) + ": " + ex.what());
      return;
    }
    if (name == "formatter") {
      return;
    }
    if (name == "level") {
      readLevel(name, value, level_);
    } else if (name == "sync_level") {
      readLevel(name, value, syncLevel_);
    } else if (!handled) {
      errors_.push_back("unknown option " + quoted(name));
    }
  }

  // Throws std::invalid_argument with every error met, joined by ", ".
  void throwIfAnyFailed() const {
    if (errors_.empty()) {
      return;
    }
    std::string text;
    for (const std::string& error : errors_) {
      if (!text.empty()) {
        text += ", ";
      }
      text += error;
    }
    throw std::invalid_argument(text);
  }

  const std::optional<LogLevel>& level() const { return level_; }
  const std::optional<LogLevel>& syncLevel() const { return syncLevel_; }

 private:
  void readLevel(const std::string& name, const std::string& value, std::optional<LogLevel>& out) {
    try {
      out = parseLogLevel(value);
    } catch (const std::exception& ex) {
      errors_.push_back("unable to parse value for option " + quoted(name) + ": " + ex.what());
    }
  }

  StandardLogHandlerFactory::WriterFactory& writerFactory_;
  StandardLogHandlerFactory::FormatterFactory& formatterFactory_;
  std::optional<LogLevel> level_;
  std::optional<LogLevel> syncLevel_;
  std::vector<std::string> errors_;
};

}  // namespace

std::shared_ptr<StandardLogHandler> StandardLogHandlerFactory::createHandler(
    std::string_view type, WriterFactory* writerFactory, const Options& options) {
  std::unique_ptr<FormatterFactory> formatterFactory;
  auto it = options.find("formatter");
  if (it == options.end() || it->second == "glog") {
    formatterFactory = std::make_unique<GlogFormatterFactory>();
  } else if (it->second == "custom") {
    formatterFactory = std::make_unique<CustomLogFormatterFactory>();
  } else {
    throw std::invalid_argument("unknown log formatter type " + quoted(it->second));
  }
  return createHandler(type, writerFactory, formatterFactory.get(), options);
}

std::shared_ptr<StandardLogHandler> StandardLogHandlerFactory::createHandler(
    std::string_view type, WriterFactory* writerFactory, FormatterFactory* formatterFactory,
    const Options& options) {
  OptionReader reader(*writerFactory, *formatterFactory);
  for (const auto& [name, value] : options) {
    reader.read(name, value);
  }
  reader.throwIfAnyFailed();

  std::shared_ptr<LogWriter> writer = writerFactory->createWriter();
  std::shared_ptr<LogFormatter> formatter = formatterFactory->createFormatter(writer);
  auto handler = std::make_shared<StandardLogHandler>(
      LogHandlerConfig{type, options}, std::move(formatter), std::move(writer),
      reader.syncLevel().value_or(LogLevel::MAX_LEVEL));
  if (reader.level()) {
    handler->setLevel(*reader.level());
  }
  return handler;
}

}  // namespace quorvane
