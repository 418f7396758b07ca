#include "common/utilities/Dynamic.h"

#include <charconv>
#include <cmath>
#include <functional>

namespace quorvane {
namespace {

size_t combineHash(size_t seed, size_t value) {
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

std::string doubleText(double value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof(buffer), value);
  (void)ec;  // 64 bytes always hold the shortest form of a double
  return std::string(buffer, end);
}

// Distinct seeds per type so that, e.g., an empty array and an empty object
// do not collide.
constexpr size_t kTypeSeed[] = {0x6e756c6c, 0x61727261, 0x626f6f6c, 0x6e756d62,
                                0x6e756d62, 0x6f626a65, 0x73747269};

}  // namespace

DynamicTypeError::DynamicTypeError(std::string_view expectedType, std::string_view actualType)
    : std::runtime_error("TypeError: expected dynamic type `" + std::string(expectedType) +
                         "', but had type `" + std::string(actualType) + "'") {}

dynamic::ObjectBox::ObjectBox() : map_(std::make_unique<Object>()) {}
dynamic::ObjectBox::ObjectBox(const ObjectBox& other)
    : map_(std::make_unique<Object>(*other.map_)) {}
dynamic::ObjectBox& dynamic::ObjectBox::operator=(const ObjectBox& other) {
  if (this != &other) {
    map_ = std::make_unique<Object>(*other.map_);
  }
  return *this;
}
dynamic::ObjectBox::~ObjectBox() = default;

dynamic::dynamic(Type type) {
  switch (type) {
    case Type::Array:
      value_.emplace<kArray>();
      break;
    case Type::Object:
      value_.emplace<kObject>();
      break;
    default:
      break;  // only the two container factories use this constructor
  }
}

dynamic::dynamic(dynamic&& other) noexcept : value_(std::move(other.value_)) {
  other.value_.emplace<kNull>();
}

dynamic& dynamic::operator=(const dynamic& other) {
  if (this != &other) {
    // Copy first: `other` may live inside this value's own tree.
    auto copy = other.value_;
    value_ = std::move(copy);
  }
  return *this;
}

dynamic& dynamic::operator=(dynamic&& other) noexcept {
  if (this != &other) {
    // Take the payload out first: `other` may live inside this value's tree,
    // which the assignment destroys.
    auto taken = std::move(other.value_);
    other.value_.emplace<kNull>();
    value_ = std::move(taken);
  }
  return *this;
}

std::string_view dynamic::typeName(Type type) {
  switch (type) {
    case Type::Null:
      return "null";
    case Type::Array:
      return "array";
    case Type::Bool:
      return "boolean";
    case Type::Double:
      return "double";
    case Type::Int64:
      return "int64";
    case Type::Object:
      return "object";
    case Type::String:
      return "string";
  }
  return "unknown type";
}

void dynamic::throwTypeError(std::string_view expected) const {
  throw DynamicTypeError(expected, typeName());
}

void dynamic::throwUnsignedOutOfRange(uint64_t value) {
  throw ConversionError("cannot convert " + std::to_string(value) + " to int64: out of range");
}

const std::string& dynamic::getString() const {
  if (!isString()) {
    throwTypeError("string");
  }
  return std::get<kString>(value_);
}

int64_t dynamic::getInt() const {
  if (!isInt()) {
    throwTypeError("int64");
  }
  return std::get<kInt64>(value_);
}

bool dynamic::getBool() const {
  if (!isBool()) {
    throwTypeError("boolean");
  }
  return std::get<kBool>(value_);
}

double dynamic::getDouble() const {
  if (!isDouble()) {
    throwTypeError("double");
  }
  return std::get<kDouble>(value_);
}

namespace {
constexpr std::string_view kConvertibleTypes = "int/double/bool/string";
}

std::string dynamic::asString() const {
  switch (type()) {
    case Type::Bool:
      return std::get<kBool>(value_) ? "true" : "false";
    case Type::Int64:
      return std::to_string(std::get<kInt64>(value_));
    case Type::Double:
      return doubleText(std::get<kDouble>(value_));
    case Type::String:
      return std::get<kString>(value_);
    default:
      throwTypeError(kConvertibleTypes);
  }
}

int64_t dynamic::asInt() const {
  switch (type()) {
    case Type::Bool:
      return std::get<kBool>(value_) ? 1 : 0;
    case Type::Int64:
      return std::get<kInt64>(value_);
    case Type::Double: {
      const double value = std::get<kDouble>(value_);
      // 2^63 is exactly representable; every double below it and at or above
      // -2^63 fits into int64.
      constexpr double kLimit = 9223372036854775808.0;
      if (!(value >= -kLimit && value < kLimit)) {
        throw ConversionError("cannot convert " + doubleText(value) + " to int64: out of range");
      }
      if (std::trunc(value) != value) {
        throw ConversionError("cannot convert " + doubleText(value) +
                              " to int64: loses its fraction");
      }
      return static_cast<int64_t>(value);
    }
    case Type::String:
      return parseInteger<int64_t>(std::get<kString>(value_));
    default:
      throwTypeError(kConvertibleTypes);
  }
}

bool dynamic::asBool() const {
  switch (type()) {
    case Type::Bool:
      return std::get<kBool>(value_);
    case Type::Int64:
      return std::get<kInt64>(value_) != 0;
    case Type::Double:
      return std::get<kDouble>(value_) != 0;
    case Type::String:
      return parseBool(std::get<kString>(value_));
    default:
      throwTypeError(kConvertibleTypes);
  }
}

double dynamic::asDouble() const {
  switch (type()) {
    case Type::Bool:
      return std::get<kBool>(value_) ? 1.0 : 0.0;
    case Type::Int64:
      return static_cast<double>(std::get<kInt64>(value_));
    case Type::Double:
      return std::get<kDouble>(value_);
    case Type::String:
      return parseDouble(std::get<kString>(value_));
    default:
      throwTypeError(kConvertibleTypes);
  }
}

const dynamic::Object& dynamic::objectOrThrow() const {
  if (!isObject()) {
    throwTypeError("object");
  }
  return std::get<kObject>(value_).map();
}

dynamic::Object& dynamic::objectOrThrow() {
  if (!isObject()) {
    throwTypeError("object");
  }
  return std::get<kObject>(value_).map();
}

const dynamic::Array& dynamic::arrayOrThrow() const {
  if (!isArray()) {
    throwTypeError("array");
  }
  return std::get<kArray>(value_);
}

dynamic::Array& dynamic::arrayOrThrow() {
  if (!isArray()) {
    throwTypeError("array");
  }
  return std::get<kArray>(value_);
}

const dynamic* dynamic::get_ptr(const dynamic& key) const {
  const Object& map = objectOrThrow();
  auto it = map.find(key);
  return it == map.end() ? nullptr : &it->second;
}

dynamic* dynamic::get_ptr(const dynamic& key) {
  Object& map = objectOrThrow();
  auto it = map.find(key);
  return it == map.end() ? nullptr : &it->second;
}

dynamic& dynamic::insert(dynamic key, dynamic value) & {
  Object& map = objectOrThrow();
  auto it = map.find(key);
  if (it != map.end()) {
    it->second = std::move(value);
  } else {
    map.emplace(std::move(key), std::move(value));
  }
  return *this;
}

dynamic&& dynamic::insert(dynamic key, dynamic value) && {
  insert(std::move(key), std::move(value));
  return std::move(*this);
}

bool dynamic::erase(const dynamic& key) { return objectOrThrow().erase(key) != 0; }

const dynamic::Object& dynamic::items() const { return objectOrThrow(); }
dynamic::Object& dynamic::items() { return objectOrThrow(); }

void dynamic::push_back(dynamic value) { arrayOrThrow().push_back(std::move(value)); }

size_t dynamic::size() const { return arrayOrThrow().size(); }

const dynamic& dynamic::at(size_t index) const {
  const Array& array = arrayOrThrow();
  if (index >= array.size()) {
    throw std::out_of_range("dynamic array index " + std::to_string(index) +
                            " out of range (size " + std::to_string(array.size()) + ")");
  }
  return array[index];
}

dynamic& dynamic::at(size_t index) {
  return const_cast<dynamic&>(static_cast<const dynamic&>(*this).at(index));
}

dynamic::Array::const_iterator dynamic::begin() const { return arrayOrThrow().begin(); }
dynamic::Array::const_iterator dynamic::end() const { return arrayOrThrow().end(); }
dynamic::Array::iterator dynamic::begin() { return arrayOrThrow().begin(); }
dynamic::Array::iterator dynamic::end() { return arrayOrThrow().end(); }

bool dynamic::operator==(const dynamic& other) const {
  const Type a = type();
  const Type b = other.type();
  if (a != b) {
    if (a == Type::Int64 && b == Type::Double) {
      return static_cast<double>(std::get<kInt64>(value_)) == std::get<kDouble>(other.value_);
    }
    if (a == Type::Double && b == Type::Int64) {
      return std::get<kDouble>(value_) == static_cast<double>(std::get<kInt64>(other.value_));
    }
    return false;
  }
  switch (a) {
    case Type::Null:
      return true;
    case Type::Array:
      return std::get<kArray>(value_) == std::get<kArray>(other.value_);
    case Type::Bool:
      return std::get<kBool>(value_) == std::get<kBool>(other.value_);
    case Type::Double:
      return std::get<kDouble>(value_) == std::get<kDouble>(other.value_);
    case Type::Int64:
      return std::get<kInt64>(value_) == std::get<kInt64>(other.value_);
    case Type::Object:
      return std::get<kObject>(value_).map() == std::get<kObject>(other.value_).map();
    case Type::String:
      return std::get<kString>(value_) == std::get<kString>(other.value_);
  }
  return false;
}

size_t dynamic::hash() const {
  const size_t seed = kTypeSeed[value_.index()];
  switch (type()) {
    case Type::Null:
      return seed;
    case Type::Bool:
      return combineHash(seed, std::get<kBool>(value_) ? 1 : 0);
    case Type::Int64:
    case Type::Double: {
      // Equal numbers must hash alike across the two types, so both hash the
      // value as a double; 0.0 stands for -0.0 too.
      double number = asDouble();
      if (number == 0) {
        number = 0;
      }
      return combineHash(seed, std::hash<double>{}(number));
    }
    case Type::String:
      return combineHash(seed, std::hash<std::string>{}(std::get<kString>(value_)));
    case Type::Array: {
      size_t h = seed;
      for (const dynamic& element : std::get<kArray>(value_)) {
        h = combineHash(h, element.hash());
      }
      return h;
    }
    case Type::Object: {
      // Order-independent: objects are sets of items.
      size_t sum = 0;
      for (const auto& [key, value] : std::get<kObject>(value_).map()) {
        sum += combineHash(key.hash(), value.hash());
      }
      return combineHash(seed, sum);
    }
  }
  return seed;
}

}  // namespace quorvane
