// Feeds arbitrary format texts to CustomLogFormatter and formats one line with
// arbitrary field values. The constructor may only throw std::runtime_error
// with one of its three documented texts; a format it accepts must then format
// any message without throwing, and the output must carry every line of the
// message text in order and end as its colouring says.
//
// Input: a flags byte (bit 0: coloured), the field values, then the format
// text up to the first NUL byte and the message text after it.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/logging/CustomLogFormatter.h"
#include "common/logging/LogCategory.h"
#include "common/logging/LogLineFields.h"
#include "common/logging/LogMessage.h"
#include "common/logging/LoggerDB.h"
#include "fuzz/FuzzCheck.h"

namespace quorvane {
namespace {

bool isDocumentedConstructionError(std::string_view text) {
  return text.starts_with("unknown format argument \"") || text == "unterminated format string" ||
         text.starts_with("invalid format string: ");
}

// Every line of `text` appears in `output`, in order.
void checkCarriesText(std::string_view output, std::string_view text) {
  size_t from = 0;
  while (true) {
    const size_t newline = text.find('\n');
    const std::string_view piece = text.substr(0, newline);
    const size_t at = output.find(piece, from);
    KESTRO_FUZZ_CHECK(at != std::string_view::npos);
    from = at + piece.size();
    if (newline == std::string_view::npos) {
      return;
    }
    text.remove_prefix(newline + 1);
  }
}

// A coloured line ends with the colour end before its newline; coloured
// lines of a message with several ends with it after the last newline.
void checkLine(const std::string& output, std::string_view text, bool colored, LogLevel level) {
  checkCarriesText(output, text);
  const uint32_t value = toUnderlying(level);
  if (!colored || (value >= 2000 && value < 3000)) {
    KESTRO_FUZZ_CHECK(output.ends_with('\n'));
  } else if (text.find('\n') == std::string_view::npos) {
    KESTRO_FUZZ_CHECK(output.ends_with("\x1b[0m\n"));
  } else {
    KESTRO_FUZZ_CHECK(output.ends_with("\n\x1b[0m"));
  }
}

LogCategory* fuzzCategory() {
  static LoggerDB* const db = new LoggerDB();
  static LogCategory* const category = db->categoryFor("fuzz.format");
  return category;
}

}  // namespace
}  // namespace quorvane

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quorvane;
  FuzzedDataProvider in(data, size);
  const bool colored = (in.ConsumeIntegral<uint8_t>() & 1) != 0;

  LogLineFields fields{};
  fields.level = static_cast<LogLevel>(in.ConsumeIntegral<uint32_t>());
  fields.levelLetter = logLineLevelLetter(fields.level);
  fields.threadId = in.ConsumeIntegral<uint64_t>();
  fields.lineNumber = in.ConsumeIntegral<unsigned int>();
  fields.microseconds = in.ConsumeIntegralInRange<uint32_t>(0, 999'999);
  fields.time.tm_year = in.ConsumeIntegralInRange<int>(-1900, 8099);
  fields.time.tm_mon = in.ConsumeIntegralInRange<int>(0, 11);
  fields.time.tm_mday = in.ConsumeIntegralInRange<int>(0, 31);
  fields.time.tm_hour = in.ConsumeIntegralInRange<int>(0, 23);
  fields.time.tm_min = in.ConsumeIntegralInRange<int>(0, 59);
  fields.time.tm_sec = in.ConsumeIntegralInRange<int>(0, 60);
  const std::string fileName = in.ConsumeRandomLengthString(64);
  const std::string functionName = in.ConsumeRandomLengthString(64);
  const std::string rest = in.ConsumeRemainingBytesAsString();
  const size_t nul = rest.find('\0');
  const std::string_view format = std::string_view(rest).substr(0, nul);
  const std::string text = nul == std::string::npos ? std::string("text") : rest.substr(nul + 1);

  std::optional<CustomLogFormatter> formatter;
  try {
    formatter.emplace(format, colored);
  } catch (const std::runtime_error& ex) {
    KESTRO_FUZZ_CHECK(isDocumentedConstructionError(ex.what()));
    return 0;
  }

  // Field values chosen by the input, message text as given.
  fields.fileBaseName = fileName;
  fields.functionName = functionName;
  fields.text = text;
  fields.newlineCount = static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n'));
  checkLine(formatter->formatFields(fields), text, colored, fields.level);

  // A real message: this thread, the current time, the text sanitised.
  const LogMessage message(fuzzCategory(), fields.level, "fuzz/dir/Source.cpp", 7, "fuzzOne",
                           std::string(text));
  checkLine(formatter->formatMessage(message, nullptr), message.messageText(), colored,
            fields.level);
  return 0;
}
