#pragma once

// dynamic: a JSON-shaped value: null, array, boolean, double, 64-bit integer,
// object or string. Logging configurations cross the core library's boundary
// in this form, by value, so the library and its callers must be built against
// this one definition.
//
// The value owns its payload: copying copies the whole tree; moving leaves the
// source null. Objects map dynamic keys to dynamic values (unique keys,
// unordered); configurations use string keys only.
//
// Equality: values of the same type compare by payload (arrays in order,
// objects as sets of key/value pairs, strings by bytes); an integer equals a
// double when the integer converted to double equals the double; other mixed
// pairs are unequal. The hash agrees with this equality (numbers hash by their
// value as a double), so an object looked up with 1.0 finds the key 1.
//
// Errors: an operation on a value of the wrong type throws DynamicTypeError
// ("TypeError: expected dynamic type `object', but had type `array'"); the
// general conversions (asInt() ...) throw ConversionError (a std::range_error)
// when text or a number cannot be converted.
//
// Thread safety: none inside; concurrent reads are safe, writes need external
// exclusion.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "common/utilities/Conv.h"

namespace quorvane {

class dynamic;

// Thrown when a dynamic value does not have the type an operation requires.
class DynamicTypeError : public std::runtime_error {
 public:
  DynamicTypeError(std::string_view expectedType, std::string_view actualType);
};

struct DynamicHash {
  size_t operator()(const dynamic& value) const;
};

class dynamic {
 public:
  // The tag values are part of the value's interface; do not renumber.
  enum class Type : uint8_t {
    Null = 0,
    Array = 1,
    Bool = 2,
    Double = 3,
    Int64 = 4,
    Object = 5,
    String = 6,
  };

  using Array = std::vector<dynamic>;
  using Object = std::unordered_map<dynamic, dynamic, DynamicHash>;

  // Null.
  dynamic() noexcept = default;
  dynamic(std::nullptr_t) noexcept {}
  dynamic(bool value) : value_(std::in_place_index<kBool>, value) {}
  dynamic(double value) : value_(std::in_place_index<kDouble>, value) {}
  // Integers of any width. An unsigned value above the int64 range throws
  // ConversionError instead of wrapping. (char is excluded: a character is not
  // a number here.)
  template <std::integral T>
  requires(!std::same_as<T, bool> && !std::same_as<T, char>) dynamic(T value)
      : value_(std::in_place_index<kInt64>, checkedInt64(value)) {}
  dynamic(const char* value) : value_(std::in_place_index<kString>, value) {}
  dynamic(std::string value) : value_(std::in_place_index<kString>, std::move(value)) {}
  dynamic(std::string_view value) : value_(std::in_place_index<kString>, value) {}
  dynamic(char) = delete;

  // An array holding `items` in order (empty without arguments).
  template <typename... Items>
  static dynamic array(Items&&... items) {
    dynamic result{Type::Array};
    auto& elements = std::get<kArray>(result.value_);
    elements.reserve(sizeof...(items));
    (elements.emplace_back(std::forward<Items>(items)), ...);
    return result;
  }
  // An empty object; fill it by chaining insert().
  static dynamic object() { return dynamic{Type::Object}; }

  dynamic(const dynamic& other) = default;
  dynamic(dynamic&& other) noexcept;
  dynamic& operator=(const dynamic& other);
  dynamic& operator=(dynamic&& other) noexcept;
  ~dynamic() = default;

  Type type() const { return static_cast<Type>(value_.index()); }
  // The name of the value's type as type errors spell it ("int64", ...).
  std::string_view typeName() const { return typeName(type()); }
  static std::string_view typeName(Type type);

  bool isNull() const { return type() == Type::Null; }
  bool isArray() const { return type() == Type::Array; }
  bool isBool() const { return type() == Type::Bool; }
  bool isDouble() const { return type() == Type::Double; }
  bool isInt() const { return type() == Type::Int64; }
  bool isObject() const { return type() == Type::Object; }
  bool isString() const { return type() == Type::String; }
  bool isNumber() const { return isInt() || isDouble(); }

  // The payload of a value of exactly that type; DynamicTypeError otherwise.
  const std::string& getString() const;
  int64_t getInt() const;
  bool getBool() const;
  double getDouble() const;

  // General conversions from boolean, integer, double or string; any other
  // type throws DynamicTypeError naming "int/double/bool/string".
  // asString: "true"/"false", decimal integers, the shortest text that reads
  // back as the same double, or the string itself.
  std::string asString() const;
  // asInt: booleans give 0/1; a double must be integral and inside the int64
  // range; a string is read as a signed decimal integer (see Conv.h).
  int64_t asInt() const;
  // asBool: integers and doubles are true when non-zero; strings are read by
  // the boolean text rule (see Conv.h).
  bool asBool() const;
  // asDouble: booleans give 0/1; integers convert (rounding above 2^53);
  // strings are read as decimal floating-point text.
  double asDouble() const;

  // Object operations; DynamicTypeError (expected "object") on other types.
  // The value stored under `key`, or null when absent.
  const dynamic* get_ptr(const dynamic& key) const;
  dynamic* get_ptr(const dynamic& key);
  // Inserts or overwrites `key`; returns this value so inserts can be chained.
  dynamic& insert(dynamic key, dynamic value) &;
  dynamic&& insert(dynamic key, dynamic value) &&;
  // Removes `key`; returns whether it was present.
  bool erase(const dynamic& key);
  // The (key, value) items, in unspecified order.
  const Object& items() const;
  Object& items();

  // Array operations; DynamicTypeError (expected "array") on other types.
  void push_back(dynamic value);
  size_t size() const;
  // Element `index`; std::out_of_range past the end.
  const dynamic& at(size_t index) const;
  dynamic& at(size_t index);
  Array::const_iterator begin() const;
  Array::const_iterator end() const;
  Array::iterator begin();
  Array::iterator end();

  bool operator==(const dynamic& other) const;
  size_t hash() const;

 private:
  // Indexes of the payload alternatives; equal to the tag values.
  static constexpr size_t kNull = 0;
  static constexpr size_t kArray = 1;
  static constexpr size_t kBool = 2;
  static constexpr size_t kDouble = 3;
  static constexpr size_t kInt64 = 4;
  static constexpr size_t kObject = 5;
  static constexpr size_t kString = 6;

  // Owns an object map and copies it deeply. (The map cannot be held directly:
  // its element type is still incomplete here.)
  class ObjectBox {
   public:
    ObjectBox();
    ObjectBox(const ObjectBox& other);
    ObjectBox(ObjectBox&& other) noexcept = default;
    ObjectBox& operator=(const ObjectBox& other);
    ObjectBox& operator=(ObjectBox&& other) noexcept = default;
    ~ObjectBox();
    Object& map() const { return *map_; }

   private:
    std::unique_ptr<Object> map_;
  };

  explicit dynamic(Type type);

  template <typename T>
  static int64_t checkedInt64(T value) {
    if constexpr (std::is_unsigned_v<T> && sizeof(T) >= sizeof(int64_t)) {
      if (value > static_cast<T>(std::numeric_limits<int64_t>::max())) {
        throwUnsignedOutOfRange(static_cast<uint64_t>(value));
      }
    }
    return static_cast<int64_t>(value);
  }
  [[noreturn]] static void throwUnsignedOutOfRange(uint64_t value);
  [[noreturn]] void throwTypeError(std::string_view expected) const;
  const Object& objectOrThrow() const;
  Object& objectOrThrow();
  const Array& arrayOrThrow() const;
  Array& arrayOrThrow();

  std::variant<std::monostate, Array, bool, double, int64_t, ObjectBox, std::string> value_;
};

inline size_t DynamicHash::operator()(const dynamic& value) const { return value.hash(); }

}  // namespace quorvane

template <>
struct std::hash<quorvane::dynamic> {
  size_t operator()(const quorvane::dynamic& value) const { return value.hash(); }
};
