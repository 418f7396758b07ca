#include "tools/json/Json.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

namespace quorvane {
namespace {

using Json = nlohmann::json;

// Builds a dynamic from the parser's events, keeping the raw text of numbers
// so that integers are told apart from doubles.
class DynamicBuilder : public nlohmann::json_sax<Json> {
 public:
  dynamic take() { return std::move(root_); }

  bool null() override { return put(dynamic()); }
  bool boolean(bool value) override { return put(value); }
  bool number_integer(number_integer_t value) override { return put(value); }
  bool number_unsigned(number_unsigned_t value) override {
    if (value > static_cast<number_unsigned_t>(std::numeric_limits<int64_t>::max())) {
      throw JsonError("integer out of range: " + std::to_string(value));
    }
    return put(static_cast<int64_t>(value));
  }
  bool number_float(number_float_t value, const string_t& text) override {
    if (text.find_first_of(".eE") == string_t::npos) {
      // Written as an integer, but too large for one.
      throw JsonError("integer out of range: " + text);
    }
    return put(value);
  }
  bool string(string_t& value) override { return put(std::move(value)); }
  bool binary(binary_t&) override { throw JsonError("binary values are not supported"); }

  bool start_object(std::size_t) override { return open(dynamic::object()); }
  bool key(string_t& key) override {
    keys_.back() = std::move(key);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(dynamic::array()); }
  bool end_array() override { return close(); }

  bool parse_error(std::size_t, const std::string&,
                   const nlohmann::detail::exception& ex) override {
    throw JsonError(ex.what());
  }

 private:
  bool put(dynamic value) {
    if (stack_.empty()) {
      root_ = std::move(value);
    } else if (stack_.back().isArray()) {
      stack_.back().push_back(std::move(value));
    } else {
      stack_.back().insert(keys_.back(), std::move(value));
    }
    return true;
  }
  bool open(dynamic container) {
    if (stack_.size() >= kMaxJsonDepth) {
      throw JsonError("JSON nesting deeper than " + std::to_string(kMaxJsonDepth) + " levels");
    }
    stack_.push_back(std::move(container));
    keys_.emplace_back();
    return true;
  }
  bool close() {
    dynamic done = std::move(stack_.back());
    stack_.pop_back();
    keys_.pop_back();
    return put(std::move(done));
  }

  dynamic root_;
  std::vector<dynamic> stack_;
  std::vector<std::string> keys_;
};

Json toNlohmann(const dynamic& value, size_t depth) {
  if (depth > kMaxJsonDepth) {
    throw JsonError("value nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
  }
  switch (value.type()) {
    case dynamic::Type::Null:
      return nullptr;
    case dynamic::Type::Bool:
      return value.getBool();
    case dynamic::Type::Int64:
      return value.getInt();
    case dynamic::Type::Double:
      return value.getDouble();
    case dynamic::Type::String:
      return value.getString();
    case dynamic::Type::Array: {
      Json array = Json::array();
      for (const dynamic& element : value) {
        array.push_back(toNlohmann(element, depth + 1));
      }
      return array;
    }
    case dynamic::Type::Object: {
      Json object = Json::object();
      for (const auto& [key, element] : value.items()) {
        if (!key.isString() && !key.isNumber() && !key.isBool()) {
          throw JsonError("a JSON object key cannot be of type " + std::string(key.typeName()));
        }
        std::string text = key.asString();
        if (object.contains(text)) {
          // 1 and "1" would otherwise silently become one key.
          throw JsonError("two object keys are both written as \"" + text + "\"");
        }
        object[std::move(text)] = toNlohmann(element, depth + 1);
      }
      return object;
    }
  }
  return nullptr;
}

}  // namespace

dynamic parseJson(std::string_view text) {
  DynamicBuilder builder;
  // The builder throws on every error, so a false result cannot occur.
  Json::sax_parse(text.begin(), text.end(), &builder);
  return builder.take();
}

std::string toJson(const dynamic& value, int indent) {
  Json json = toNlohmann(value, 0);
  try {
    return json.dump(indent);
  } catch (const Json::exception& ex) {
    throw JsonError(ex.what());
  }
}

}  // namespace quorvane
