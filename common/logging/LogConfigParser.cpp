#include "common/logging/LogConfigParser.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/logging/CategoryName.h"
#include "common/logging/internal/Quoted.h"

namespace quorvane {
namespace {

using logging::internal::quoted;

// The type names configuration errors use ("integer" where type errors of
// dynamic itself say "int64").
std::string_view configTypeName(const dynamic& value) {
  switch (value.type()) {
    case dynamic::Type::Null:
      return "null";
    case dynamic::Type::Array:
      return "array";
    case dynamic::Type::Bool:
      return "boolean";
    case dynamic::Type::Double:
      return "double";
    case dynamic::Type::Int64:
      return "integer";
    case dynamic::Type::Object:
      return "object";
    case dynamic::Type::String:
      return "string";
  }
  return "unknown type";
}

[[noreturn]] void fail(std::string message) { throw LogConfigParseError(message); }

// Reads a level given as a string or an integer; nullopt for any other type,
// so that the caller reports the type in its own words.
std::optional<LogLevel> readLevel(const dynamic& value, std::string_view categoryName) {
  if (value.isString()) {
    const std::string& text = value.getString();
    try {
      return parseLogLevel(text);
    } catch (const std::range_error&) {
      fail("invalid log level " + quoted(text) + " for category " + quoted(categoryName));
    }
  }
  if (value.isInt()) {
    const int64_t number = value.getInt();
    if (number < 1 || number > static_cast<int64_t>(toUnderlying(LogLevel::MAX_LEVEL))) {
      fail("invalid log level " + std::to_string(number) + " for category " + quoted(categoryName) +
           ": outside of valid range");
    }
    return static_cast<LogLevel>(number);
  }
  return std::nullopt;
}

// The "level" or "propagate" field of a category object.
LogLevel readLevelField(const dynamic& value, std::string_view field, std::string_view name) {
  std::optional<LogLevel> level = readLevel(value, name);
  if (!level) {
    fail("unexpected data type for " + std::string(field) + " field of category " + quoted(name) +
         ": got " + std::string(configTypeName(value)) + ", expected a string or integer");
  }
  return *level;
}

// The "handlers" field of a category object: a list of handler names.
std::vector<std::string> readHandlerNames(const dynamic& handlers, std::string_view name) {
  if (!handlers.isArray()) {
    fail("the \"handlers\" field for category " + std::string(name) + " must be a list");
  }
  std::vector<std::string> names;
  names.reserve(handlers.size());
  for (const dynamic& handlerName : handlers) {
    if (!handlerName.isString()) {
      fail("the \"handlers\" list for category " + std::string(name) +
           " must be contain only strings");
    }
    names.push_back(handlerName.getString());
  }
  return names;
}

// A category given as an object: "level" required; "inherit", "propagate"
// and "handlers" optional.
LogCategoryConfig parseCategoryObject(const dynamic& value, std::string_view name) {
  LogCategoryConfig config;
  const dynamic* level = value.get_ptr("level");
  if (level == nullptr) {
    fail("no log level specified for category " + quoted(name));
  }
  config.level = readLevelField(*level, "level", name);
  if (const dynamic* inherit = value.get_ptr("inherit")) {
    if (!inherit->isBool()) {
      fail("unexpected data type for inherit field of category " + quoted(name) + ": got " +
           std::string(configTypeName(*inherit)) + ", expected a boolean");
    }
    config.inherit = inherit->getBool();
  }
  if (const dynamic* propagate = value.get_ptr("propagate")) {
    config.propagate = readLevelField(*propagate, "propagate", name);
  }
  if (const dynamic* handlers = value.get_ptr("handlers")) {
    config.handlers = readHandlerNames(*handlers, name);
  }
  return config;
}

// A category given as an object, or as its level alone.
LogCategoryConfig parseCategoryConfig(const dynamic& value, std::string_view name) {
  if (value.isObject()) {
    return parseCategoryObject(value, name);
  }
  if (std::optional<LogLevel> level = readLevel(value, name)) {
    LogCategoryConfig config;
    config.level = *level;
    return config;
  }
  fail("unexpected data type for configuration of category " + quoted(name) + ": got " +
       std::string(configTypeName(value)) + ", expected an object, string, or integer");
}

LogHandlerConfig parseHandlerConfig(const dynamic& value, std::string_view name) {
  if (!value.isObject()) {
    fail("unexpected data type for configuration of handler " + quoted(name) + ": got " +
         std::string(configTypeName(value)) + ", expected an object");
  }
  const dynamic* type = value.get_ptr("type");
  if (type == nullptr) {
    fail("no handler type specified for log handler " + quoted(name));
  }
  if (!type->isString()) {
    fail("unexpected data type for \"type\" field of handler " + quoted(name) + ": got " +
         std::string(configTypeName(*type)) + ", expected a string");
  }
  LogHandlerConfig config{type->getString()};

  if (const dynamic* options = value.get_ptr("options")) {
    if (!options->isObject()) {
      fail("unexpected data type for \"options\" field of handler " + quoted(name) + ": got " +
           std::string(configTypeName(*options)) + ", expected an object");
    }
    for (const auto& [key, option] : options->items()) {
      if (!key.isString()) {
        fail("unexpected data type for option of handler " + quoted(name) + ": got " +
             std::string(configTypeName(key)) + ", expected string");
      }
      if (!option.isString()) {
        fail("unexpected data type for option " + quoted(key.getString()) + " of handler " +
             quoted(name) + ": got " + std::string(configTypeName(option)) + ", expected a string");
      }
      config.options.emplace(key.getString(), option.getString());
    }
  }
  return config;
}

}  // namespace

LogConfig configFromDynamic(const dynamic& value) {
  if (!value.isObject()) {
    fail("JSON config input must be an object");
  }
  LogConfig config;

  if (const dynamic* categories = value.get_ptr("categories")) {
    if (!categories->isObject()) {
      fail("unexpected data type for log categories config: got " +
           std::string(configTypeName(*categories)) + ", expected an object");
    }
    // Canonical name -> the key it was first written as.
    std::unordered_map<std::string, std::string> spellings;
    for (const auto& [key, entry] : categories->items()) {
      if (!key.isString()) {
        fail("category name must be a string");
      }
      const std::string& name = key.getString();
      LogCategoryConfig categoryConfig = parseCategoryConfig(entry, name);
      std::string canonical = canonicalCategoryName(name);
      auto [it, inserted] = spellings.emplace(canonical, name);
      if (!inserted) {
        fail("category " + quoted(canonical) + " listed multiple times under different names: " +
             quoted(it->second) + " and " + quoted(name));
      }
      config.categoryConfigs().emplace(std::move(canonical), std::move(categoryConfig));
    }
  }

  if (const dynamic* handlers = value.get_ptr("handlers")) {
    if (!handlers->isObject()) {
      fail("unexpected data type for log handlers config: got " +
           std::string(configTypeName(*handlers)) + ", expected an object");
    }
    for (const auto& [key, entry] : handlers->items()) {
      if (!key.isString()) {
        fail("handler name must be a string");
      }
      const std::string& name = key.getString();
      config.handlerConfigs().emplace(name, parseHandlerConfig(entry, name));
    }
  }
  return config;
}

dynamic configToDynamic(const LogCategoryConfig& config) {
  dynamic result = dynamic::object()
                       .insert("level", logLevelName(config.level))
                       .insert("inherit", config.inherit)
                       .insert("propagate", logLevelName(config.propagate));
  if (config.handlers) {
    dynamic names = dynamic::array();
    for (const std::string& name : *config.handlers) {
      names.push_back(name);
    }
    result.insert("handlers", std::move(names));
  }
  return result;
}

dynamic configToDynamic(const LogHandlerConfig& config) {
  dynamic options = dynamic::object();
  for (const auto& [name, value] : config.options) {
    options.insert(name, value);
  }
  dynamic result = dynamic::object().insert("options", std::move(options));
  if (config.type) {
    result.insert("type", *config.type);
  }
  return result;
}

dynamic configToDynamic(const LogConfig& config) {
  dynamic categories = dynamic::object();
  for (const auto& [name, categoryConfig] : config.categoryConfigs()) {
    categories.insert(name, configToDynamic(categoryConfig));
  }
  dynamic handlers = dynamic::object();
  for (const auto& [name, handlerConfig] : config.handlerConfigs()) {
    handlers.insert(name, configToDynamic(handlerConfig));
  }
  return dynamic::object()
      .insert("categories", std::move(categories))
      .insert("handlers", std::move(handlers));
}

}  // namespace quorvane
