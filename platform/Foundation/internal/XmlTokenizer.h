#pragma once

// XmlTokenizer: splits an XML document into start tags, end tags and character
// data, for the property-list reader. It is not a general XML parser: it
// checks what a property list needs and skips the rest.
//
// - Comments, processing instructions (the "<?xml ...?>" declaration) and
//   declarations such as "<!DOCTYPE ...>" (with an internal subset in [...])
//   are skipped.
// - Attributes of start tags are skipped (quoted values may hold '>').
// - Character data comes back decoded: the five predefined entities and
//   decimal or hexadecimal character references (as UTF-8); CDATA sections
//   come back verbatim. Neighbouring pieces of text may come as several tokens.
// - Anything not well-formed at the token level (an unterminated comment or
//   tag, a bad name, an unknown entity, a bare '&') makes next() answer
//   nullopt; the tokenizer stays failed after that. Matching start and end
//   tags is the caller's job.
//
// Errors: none thrown but std::bad_alloc. Thread safety: one object per thread.
// The document must outlive the tokenizer.

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::platform::internal {

struct XmlToken {
  enum class Kind { kStartTag, kEndTag, kText, kEnd };

  Kind kind = Kind::kEnd;
  // The tag name, for kStartTag and kEndTag.
  std::string name;
  // "<name/>": a start tag that is also its own end tag.
  bool selfClosing = false;
  // The decoded character data, for kText.
  std::string text;
};

class XmlTokenizer {
 public:
  explicit XmlTokenizer(std::string_view document) : document_(document) {}

  std::optional<XmlToken> next();

 private:
  // Each returns false when the markup at pos_ is malformed.
  bool skipPast(std::string_view opener, std::string_view terminator);
  bool skipDeclaration();
  bool readName(std::string& name);
  bool readStartTag(XmlToken& token);
  bool readEndTag(XmlToken& token);
  bool readCharacterData(XmlToken& token);
  bool readCdata(XmlToken& token);

  std::string_view document_;
  size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace quorvane::platform::internal
