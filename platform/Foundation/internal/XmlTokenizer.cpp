#include "platform/Foundation/internal/XmlTokenizer.h"

#include <algorithm>
#include <cstdint>

namespace quorvane::platform::internal {

namespace {

constexpr std::string_view kCommentStart = "<!--";
constexpr std::string_view kCommentEnd = "-->";
constexpr std::string_view kCdataStart = "<![CDATA[";
constexpr std::string_view kCdataEnd = "]]>";
constexpr std::string_view kInstructionStart = "<?";
constexpr std::string_view kInstructionEnd = "?>";
constexpr std::string_view kDeclarationStart = "<!";
constexpr std::string_view kEndTagStart = "</";

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':';
}

bool isNameChar(char c) { return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// "#123" or "#x7B": the character it names, or nullopt.
std::optional<char32_t> characterReference(std::string_view body) {
  const bool hex = body.size() > 1 && body[1] == 'x';
  const std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty()) {
    return std::nullopt;
  }
  const uint32_t base = hex ? 16 : 10;
  uint32_t value = 0;
  for (char c : digits) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    value = value * base + digit;
    if (value > kMaxCodePoint) {
      return std::nullopt;
    }
  }
  if (value == 0 || (value >= kFirstSurrogate && value <= kLastSurrogate)) {
    return std::nullopt;
  }
  return static_cast<char32_t>(value);
}

// Appends the character named by the entity body (between '&' and ';').
bool appendEntity(std::string& out, std::string_view body) {
  static constexpr struct {
    std::string_view name;
    char value;
  } kPredefined[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& entity : kPredefined) {
    if (body == entity.name) {
      out += entity.value;
      return true;
    }
  }
  if (!body.starts_with('#')) {
    return false;
  }
  const std::optional<char32_t> cp = characterReference(body);
  if (!cp) {
    return false;
  }
  appendUtf8(out, *cp);
  return true;
}

}  // namespace

std::optional<XmlToken> XmlTokenizer::next() {
  while (!failed_) {
    XmlToken token;
    const std::string_view rest = document_.substr(pos_);
    bool ok = true;
    if (rest.empty()) {
      return token;  // kEnd
    } else if (rest.starts_with(kCommentStart)) {
      ok = skipPast(kCommentStart, kCommentEnd);
    } else if (rest.starts_with(kCdataStart)) {
      if (readCdata(token)) {
        return token;
      }
      ok = false;
    } else if (rest.starts_with(kInstructionStart)) {
      ok = skipPast(kInstructionStart, kInstructionEnd);
    } else if (rest.starts_with(kDeclarationStart)) {
      ok = skipDeclaration();
    } else if (rest.starts_with(kEndTagStart)) {
      if (readEndTag(token)) {
        return token;
      }
      ok = false;
    } else if (rest.starts_with('<')) {
      if (readStartTag(token)) {
        return token;
      }
      ok = false;
    } else {
      if (readCharacterData(token)) {
        return token;
      }
      ok = false;
    }
    failed_ = !ok;
  }
  return std::nullopt;
}

bool XmlTokenizer::skipPast(std::string_view opener, std::string_view terminator) {
  const size_t end = document_.find(terminator, pos_ + opener.size());
  if (end == std::string_view::npos) {
    return false;
  }
  pos_ = end + terminator.size();
  return true;
}

bool XmlTokenizer::skipDeclaration() {
  int bracketDepth = 0;
  char quote = '\0';
  for (size_t i = pos_ + kDeclarationStart.size(); i < document_.size(); ++i) {
    const char c = document_[i];
    if (quote != '\0') {
      quote = (c == quote) ? '\0' : quote;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++bracketDepth;
    } else if (c == ']') {
      --bracketDepth;
    } else if (c == '>' && bracketDepth <= 0) {
      pos_ = i + 1;
      return true;
    }
  }
  return false;
}

bool XmlTokenizer::readName(std::string& name) {
  const size_t start = pos_;
  if (pos_ >= document_.size() || !isNameStart(document_[pos_])) {
    return false;
  }
  while (pos_ < document_.size() && isNameChar(document_[pos_])) {
    ++pos_;
  }
  name.assign(document_.substr(start, pos_ - start));
  return true;
}

bool XmlTokenizer::readStartTag(XmlToken& token) {
  token.kind = XmlToken::Kind::kStartTag;
  ++pos_;  // '<'
  if (!readName(token.name)) {
    return false;
  }
  if (pos_ < document_.size() && !isSpace(document_[pos_]) && document_[pos_] != '/' &&
      document_[pos_] != '>') {
    return false;
  }
  char quote = '\0';
  for (; pos_ < document_.size(); ++pos_) {
    const char c = document_[pos_];
    if (quote != '\0') {
      quote = (c == quote) ? '\0' : quote;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '<') {
      return false;
    } else if (c == '>') {
      token.selfClosing = document_[pos_ - 1] == '/';
      ++pos_;
      return true;
    }
  }
  return false;
}

bool XmlTokenizer::readEndTag(XmlToken& token) {
  token.kind = XmlToken::Kind::kEndTag;
  pos_ += kEndTagStart.size();
  if (!readName(token.name)) {
    return false;
  }
  while (pos_ < document_.size() && isSpace(document_[pos_])) {
    ++pos_;
  }
  if (pos_ >= document_.size() || document_[pos_] != '>') {
    return false;
  }
  ++pos_;
  return true;
}

bool XmlTokenizer::readCharacterData(XmlToken& token) {
  token.kind = XmlToken::Kind::kText;
  const size_t end = std::min(document_.find('<', pos_), document_.size());
  while (pos_ < end) {
    const char c = document_[pos_];
    if (c != '&') {
      token.text += c;
      ++pos_;
      continue;
    }
    const size_t semicolon = document_.find(';', pos_);
    if (semicolon == std::string_view::npos || semicolon > end ||
        !appendEntity(token.text, document_.substr(pos_ + 1, semicolon - pos_ - 1))) {
      return false;
    }
    pos_ = semicolon + 1;
  }
  return true;
}

bool XmlTokenizer::readCdata(XmlToken& token) {
  token.kind = XmlToken::Kind::kText;
  const size_t start = pos_ + kCdataStart.size();
  const size_t end = document_.find(kCdataEnd, start);
  if (end == std::string_view::npos) {
    return false;
  }
  token.text.assign(document_.substr(start, end - start));
  pos_ = end + kCdataEnd.size();
  return true;
}

}  // namespace quorvane::platform::internal
