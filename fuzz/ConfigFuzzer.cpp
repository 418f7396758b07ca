// Feeds arbitrary JSON-shaped values to configFromDynamic, and what parses to
// applyConfig and replaceConfig on a fresh database. The only exceptions
// allowed out are LogConfigParseError from the parser and std::invalid_argument
// from the apply operations; anything else escapes and libFuzzer reports it as
// a crash. Properties checked:
// - a configuration that parses survives configToDynamic -> configFromDynamic;
// - a failed apply operation leaves the database's complete configuration as
//   it was;
// - the configuration a database reports can be applied again, by replacement
//   or by merge, and then reports the same.
//
// The database knows the real "stream" type (handlers are only built, never
// handed a message, so nothing is written) and test types that accept any
// option except "fail".
//
// Input: JSON text when it parses as such (the seed corpus is JSON); any other
// bytes are decoded into a value directly, which also reaches shapes JSON text
// cannot express (non-string keys).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include <memory>
#include <stdexcept>

#include "common/logging/LogConfigParser.h"
#include "common/logging/LoggerDB.h"
#include "common/logging/StreamHandlerFactory.h"
#include "common/logging/testing/TestLogHandlerFactory.h"
#include "fuzz/FuzzCheck.h"
#include "tools/json/Json.h"

namespace quorvane {
namespace {

// Words that steer decoded values toward the parser's interesting paths.
constexpr std::string_view kWords[] = {"categories",
                                       "handlers",
                                       "level",
                                       "inherit",
                                       "propagate",
                                       "type",
                                       "options",
                                       "INFO",
                                       "dbg3",
                                       "info999",
                                       "LogLevel(7)",
                                       "warn",
                                       "0",
                                       "a.b",
                                       "a/b",
                                       "",
                                       "h",
                                       "stream",
                                       "fatal",
                                       "x",
                                       "stderr",
                                       "async",
                                       "max_buffer_size",
                                       "sync_level",
                                       "formatter",
                                       "custom",
                                       "glog",
                                       "log_format",
                                       "colored",
                                       "true",
                                       "fail",
                                       "{L}{m:02d} {FILE}:{LINE}]",
                                       "kestroGlog",
                                       "."};

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return pos_ >= size_; }
  uint8_t byte() { return empty() ? 0 : data_[pos_++]; }
  uint64_t word() {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
      value = (value << 8) | byte();
    }
    return value;
  }
  std::string text() {
    const uint8_t choice = byte();
    if (choice < 160) {
      return std::string(kWords[choice % std::size(kWords)]);
    }
    std::string result;
    for (size_t length = byte() % 16; length > 0 && !empty(); --length) {
      result.push_back(static_cast<char>(byte()));
    }
    return result;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

dynamic decode(ByteReader& in, int depth) {
  const uint8_t kind = in.byte();
  switch (kind % 8) {
    case 0:
      return dynamic();
    case 1: {
      dynamic array = dynamic::array();
      for (int n = depth < 6 ? in.byte() % 5 : 0; n > 0 && !in.empty(); --n) {
        array.push_back(decode(in, depth + 1));
      }
      return array;
    }
    case 2:
      return dynamic((kind & 0x80) != 0);
    case 3: {
      uint64_t bits = in.word();
      double value;
      std::memcpy(&value, &bits, sizeof(value));
      return dynamic(value);
    }
    case 4: {
      // Mostly values around the level range's edges.
      const uint8_t choice = in.byte();
      if (choice < 64) {
        return dynamic(static_cast<int64_t>(choice) - 8);
      }
      if (choice < 128) {
        return dynamic(int64_t{2147483647} + (choice % 4) - 1);
      }
      return dynamic(static_cast<int64_t>(in.word()));
    }
    case 5:
    case 6: {
      dynamic object = dynamic::object();
      for (int n = depth < 6 ? in.byte() % 6 : 0; n > 0 && !in.empty(); --n) {
        dynamic key = (in.byte() < 230) ? dynamic(in.text()) : decode(in, depth + 1);
        object.insert(std::move(key), decode(in, depth + 1));
      }
      return object;
    }
    default:
      return dynamic(in.text());
  }
}

// The handler types the fuzzed configurations may name besides "stream".
constexpr std::string_view kTestTypes[] = {"h", "x", "kestroGlog", "test"};

// Applies `config` with `apply` (a member of LoggerDB). On failure, checks the
// error and that nothing changed; returns whether it succeeded.
template <typename Apply>
bool applyOrKeep(LoggerDB& db, const LogConfig& config, Apply apply) {
  const LogConfig before = db.completeConfig();
  try {
    (db.*apply)(config);
    return true;
  } catch (const std::invalid_argument& ex) {
    KESTRO_FUZZ_CHECK(std::strlen(ex.what()) > 0);
    KESTRO_FUZZ_CHECK(db.completeConfig() == before);
    return false;
  }
}

// The reported configuration applies again and reports the same.
void checkReportReapplies(LoggerDB& db) {
  const LogConfig reported = db.currentConfig();
  KESTRO_FUZZ_CHECK(configFromDynamic(configToDynamic(reported)) == reported);
  db.replaceConfig(reported);
  KESTRO_FUZZ_CHECK(db.currentConfig() == reported);
  db.applyConfig(reported);
  KESTRO_FUZZ_CHECK(db.currentConfig() == reported);
}

void applyToDatabase(const LogConfig& config) {
  LoggerDB db;
  db.addHandlerFactory(std::make_unique<StreamHandlerFactory>());
  for (std::string_view type : kTestTypes) {
    db.addHandlerFactory(std::make_unique<test::TestLogHandlerFactory>(std::string(type)));
  }
  if (applyOrKeep(db, config, &LoggerDB::applyConfig)) {
    checkReportReapplies(db);
  }
  if (applyOrKeep(db, config, &LoggerDB::replaceConfig)) {
    checkReportReapplies(db);
  }
}

dynamic valueFromInput(const uint8_t* data, size_t size) {
  try {
    return parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const JsonError&) {
    ByteReader in(data, size);
    return decode(in, 0);
  }
}

}  // namespace
}  // namespace quorvane

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvane;
  const dynamic value = valueFromInput(data, size);
  LogConfig config;
  try {
    config = configFromDynamic(value);
  } catch (const LogConfigParseError& ex) {
    KESTRO_FUZZ_CHECK(std::strlen(ex.what()) > 0);
    return 0;
  }
  const dynamic serialised = configToDynamic(config);
  KESTRO_FUZZ_CHECK(configFromDynamic(serialised) == config);
  applyToDatabase(config);
  return 0;
}
