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
  std::vector<std::string> errors;
  std::optional<LogLevel> level;
  std::optional<LogLevel> syncLevel;

  auto parseLevelOption = [&](const std::string& name, const std::string& value,
                              std::optional<LogLevel>& out) {
    try {
      out = parseLogLevel(value);
    } catch (const std::exception& ex) {
      errors.push_back("unable to parse value for option " + quoted(name) + ": " + ex.what());
    }
  };

  for (const auto& [name, value] : options) {
    bool handled = false;
    try {
      handled = formatterFactory->processOption(name, value);
      handled = writerFactory->processOption(name, value) || handled;
    } catch (const std::exception& ex) {
      errors.push_back("error processing option " + quoted(name) + ": " + ex.what());
      continue;
    }

    if (name == "formatter") {
      continue;
    }
    if (name == "level") {
      parseLevelOption(name, value, level);
      continue;
    }
    if (name == "sync_level") {
      parseLevelOption(name, value, syncLevel);
      continue;
    }
    if (!handled) {
      errors.push_back("unknown option " + quoted(name));
    }
  }

  if (!errors.empty()) {
    std::string text;
    for (const std::string& error : errors) {
      if (!text.empty()) {
        text += ", ";
      }
      text += error;
    }
    throw std::invalid_argument(text);
  }

  std::shared_ptr<LogWriter> writer = writerFactory->createWriter();
  std::shared_ptr<LogFormatter> formatter = formatterFactory->createFormatter(writer);
  auto handler = std::make_shared<StandardLogHandler>(LogHandlerConfig{type, options},
                                                      std::move(formatter), std::move(writer),
                                                      syncLevel.value_or(LogLevel::MAX_LEVEL));
  if (level) {
    handler->setLevel(*level);
  }
  return handler;
}

}  // namespace quorvane
