#include "platform/Foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace quorvane::platform {
namespace {

constexpr std::string_view kKey = "CFBundleExecutable";

// A document as the build tools write it, around the given dictionary body.
std::string plist(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n<dict>\n" +
         body + "\n</dict>\n</plist>\n";
}

TEST(PropertyListTest, ReadsTheTopLevelString) {
  const struct {
    std::string document;
    std::optional<std::string> value;
  } kCases[] = {
      {plist("<key>CFBundleName</key><string>Main</string>"
             "<key>CFBundleExecutable</key><string>KestroMain</string>"),
       "KestroMain"},
      // White space and comments anywhere between elements and around text.
      {plist("  <!-- the program -->\n\t<key>CFBundleExecutable</key>  <!-- x -->\n"
             "<string>Kes<!-- cut -->troMain</string>"),
       "KestroMain"},
      {plist("<key>CFBundleExecutable</key><string> spaced name </string>"), " spaced name "},
      {plist("<key>CFBundleExecutable</key><string>A&amp;B&#x20;&#67;&lt;</string>"), "A&B C<"},
      {plist("<key>CFBundleExecutable</key><string>caf&#233;</string>"), "caf\xC3\xA9"},
      {plist("<key>CFBundleExecutable</key><string><![CDATA[<raw&>]]></string>"), "<raw&>"},
      {plist("<key>CFBundleExecutable</key><string/>"), ""},
      {"\xEF\xBB\xBF<plist><dict><key>CFBundleExecutable</key><string>Bom</string></dict></plist>",
       "Bom"},
      {"<dict><key>CFBundleExecutable</key><string>Bare</string></dict>", "Bare"},
      // Other values are passed over, nested keys never match, the last one counts.
      {plist("<key>CFBundleDocumentTypes</key><array><dict><key>CFBundleExecutable</key>"
             "<string>Nested</string></dict><true/><integer>3</integer></array>"
             "<key>LSUIElement</key><true/><key>CFBundleExecutable</key><string>Top</string>"),
       "Top"},
      {plist("<key>CFBundleExecutable</key><string>First</string>"
             "<key>CFBundleExecutable</key><string>Second</string>"),
       "Second"},
      // Missing key, or a value that is not a string.
      {plist("<key>CFBundleName</key><string>Main</string>"), std::nullopt},
      {plist("<key>CFBundleExecutable</key><integer>7</integer>"), std::nullopt},
      {plist("<key>CFBundleExecutable</key><dict><key>a</key><string>b</string></dict>"),
       std::nullopt},
      {plist(""), std::nullopt},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(propertyListString(c.document, kKey), c.value) << c.document;
  }
}

TEST(PropertyListTest, RefusesWhatIsNotAWellFormedXmlPropertyList) {
  const std::string kValid = "<key>CFBundleExecutable</key><string>Main</string>";
  const std::string kCases[] = {
      "",
      "bplist00\xD1\x01\x02_\x10\x12"
      "CFBundleExecutableTMain",
      "CFBundleExecutable=Main",
      plist(kValid).substr(0, plist(kValid).size() - 10),  // cut short
      plist(kValid + "<key>x</key>"),                      // key without value
      plist(kValid + "<string>no key</string>"),
      plist(kValid + "stray text"),
      plist(kValid + "<key>x</key><string>a</strin>"),
      plist(kValid + "<key>x</key><array><string>a</string></dict>"),
      plist(kValid + "<key>x</key><unknown>a</unknown>"),
      plist(kValid + "<key>x</key><string>a<b/></string>"),
      plist(kValid + "<!-- unterminated comment"),
      plist("<key>CFBundleExecutable</key><string>A&nbsp;</string>"),
      plist("<key>CFBundleExecutable</key><string>A & B</string>"),
      plist("<key>CFBundleExecutable</key><string>&#0;</string>"),
      plist("<key>CFBundleExecutable</key><string>&#xD800;</string>"),
      plist("<key>CFBundleExecutable</key><string>&#x110000;</string>"),
      plist(kValid) + "<dict></dict>",
      "<plist><array><string>Main</string></array></plist>",
      "<plist><dict><key>CFBundleExecutable</key><string>Main</string></dict>",
      "<plist><dict><key>CFBundleExecutable</key><string>Main</string></dict></plist></plist>",
      "<1plist><dict></dict></1plist>",
  };
  for (const std::string& document : kCases) {
    EXPECT_EQ(propertyListString(document, kKey), std::nullopt) << document;
  }
}

TEST(PropertyListTest, RefusesNestingBeyondTheLimitWithoutExhaustingTheStack) {
  constexpr int kDeep = 100000;
  std::string deep = plist("<key>CFBundleExecutable</key><string>Main</string><key>x</key>");
  deep.resize(deep.find("\n</dict>\n</plist>"));
  for (int i = 0; i < kDeep; ++i) {
    deep += "<array>";
  }
  EXPECT_EQ(propertyListString(deep, kKey), std::nullopt);
}

}  // namespace
}  // namespace quorvane::platform
