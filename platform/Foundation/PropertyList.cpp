#include "platform/Foundation/PropertyList.h"

#include <algorithm>
#include <array>

#include "platform/Foundation/internal/XmlTokenizer.h"

namespace quorvane::platform {

namespace {

using internal::XmlToken;
using internal::XmlTokenizer;

constexpr std::string_view kBinaryMagic = "bplist";
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

bool isValueElement(std::string_view name) {
  static constexpr std::array<std::string_view, 9> kValues = {
      "dict", "array", "string", "integer", "real", "true", "false", "date", "data"};
  return std::find(kValues.begin(), kValues.end(), name) != kValues.end();
}

bool isBlank(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// Reads the top-level dictionary of one document, checking the structure of
// everything it passes over and remembering the string under one key.
class PropertyListReader {
 public:
  PropertyListReader(std::string_view document, std::string_view key)
      : tokens_(document), key_(key) {}

  std::optional<std::string> read() {
    std::optional<XmlToken> token = nextMarkup();
    const bool wrapped = token && isStart(*token, "plist") && !token->selfClosing;
    if (wrapped) {
      token = nextMarkup();
    }
    if (!token || !isStart(*token, "dict") || !readDictionary(*token, /*depth=*/1, /*top=*/true)) {
      return std::nullopt;
    }
    if (wrapped && !expectEnd("plist")) {
      return std::nullopt;
    }
    token = nextMarkup();
    if (!token || token->kind != XmlToken::Kind::kEnd) {
      return std::nullopt;
    }
    return found_;
  }

 private:
  static bool isStart(const XmlToken& token, std::string_view name) {
    return token.kind == XmlToken::Kind::kStartTag && token.name == name;
  }

  // The next tag or the end of the document; white space between elements is
  // passed over, any other text is malformed.
  std::optional<XmlToken> nextMarkup() {
    std::optional<XmlToken> token = tokens_.next();
    while (token && token->kind == XmlToken::Kind::kText) {
      if (!isBlank(token->text)) {
        return std::nullopt;
      }
      token = tokens_.next();
    }
    return token;
  }

  bool expectEnd(std::string_view name) {
    const std::optional<XmlToken> token = nextMarkup();
    return token && token->kind == XmlToken::Kind::kEndTag && token->name == name;
  }

  // The text of a scalar element up to its end tag; nullopt when an element
  // is nested in it or the end tag does not match.
  std::optional<std::string> readText(const XmlToken& start) {
    std::string text;
    if (start.selfClosing) {
      return text;
    }
    for (std::optional<XmlToken> token = tokens_.next(); token; token = tokens_.next()) {
      if (token->kind == XmlToken::Kind::kText) {
        text += token->text;
      } else {
        if (token->kind == XmlToken::Kind::kEndTag && token->name == start.name) {
          return text;
        }
        return std::nullopt;
      }
    }
    return std::nullopt;
  }

  bool readDictionary(const XmlToken& start, int depth, bool top) {
    if (start.selfClosing) {
      return true;
    }
    for (std::optional<XmlToken> token = nextMarkup(); token; token = nextMarkup()) {
      if (token->kind == XmlToken::Kind::kEndTag) {
        return token->name == "dict";
      }
      if (!isStart(*token, "key")) {
        return false;
      }
      const std::optional<std::string> key = readText(*token);
      const std::optional<XmlToken> value = nextMarkup();
      if (!key || !value || value->kind != XmlToken::Kind::kStartTag) {
        return false;
      }
      if (top && *key == key_) {
        found_.reset();
        if (value->name == "string") {
          found_ = readText(*value);
          if (!found_) {
            return false;
          }
          continue;
        }
      }
      if (!skipValue(*value, depth + 1)) {
        return false;
      }
    }
    return false;
  }

  bool readArray(const XmlToken& start, int depth) {
    if (start.selfClosing) {
      return true;
    }
    for (std::optional<XmlToken> token = nextMarkup(); token; token = nextMarkup()) {
      if (token->kind == XmlToken::Kind::kEndTag) {
        return token->name == "array";
      }
      if (token->kind != XmlToken::Kind::kStartTag || !skipValue(*token, depth + 1)) {
        return false;
      }
    }
    return false;
  }

  bool skipValue(const XmlToken& start, int depth) {
    if (depth > kMaxPropertyListDepth || !isValueElement(start.name)) {
      return false;
    }
    if (start.name == "dict") {
      return readDictionary(start, depth, /*top=*/false);
    }
    if (start.name == "array") {
      return readArray(start, depth);
    }
    return readText(start).has_value();
  }

  XmlTokenizer tokens_;
  std::string_view key_;
  std::optional<std::string> found_;
};

}  // namespace

std::optional<std::string> propertyListString(std::string_view document, std::string_view key) {
  if (document.starts_with(kBinaryMagic)) {
    return std::nullopt;
  }
  if (document.starts_with(kUtf8ByteOrderMark)) {
    document.remove_prefix(kUtf8ByteOrderMark.size());
  }
  return PropertyListReader(document, key).read();
}

}  // namespace quorvane::platform
