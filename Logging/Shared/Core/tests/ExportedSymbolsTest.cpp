// liblogcore exports its ten functions and nothing else: read the library's
// dynamic symbol table and compare.

#include <cxxabi.h>
#include <elf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// Demangled names of the symbols the library defines and exports.
std::set<std::string> exportedSymbols(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_GE(image.size(), sizeof(Elf64_Ehdr));
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(image.data());
  EXPECT_EQ(std::memcmp(header->e_ident, ELFMAG, SELFMAG), 0);
  const auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + header->e_shoff);

  std::set<std::string> names;
  for (int i = 0; i < header->e_shnum; ++i) {
    if (sections[i].sh_type != SHT_DYNSYM) {
      continue;
    }
    const char* strings = image.data() + sections[sections[i].sh_link].sh_offset;
    const auto* symbols = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
    const size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
    for (size_t s = 0; s < count; ++s) {
      const Elf64_Sym& symbol = symbols[s];
      const unsigned char binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0 ||
          (binding != STB_GLOBAL && binding != STB_WEAK)) {
        continue;
      }
      const char* mangled = strings + symbol.st_name;
      int status = 0;
      std::unique_ptr<char, decltype(&std::free)> demangled(
          abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
      names.insert(status == 0 ? demangled.get() : mangled);
    }
  }
  return names;
}

TEST(ExportedSymbolsTest, OnlyTheTenFunctionsAreExported) {
  const std::string str =
      "std::__cxx11::basic_string<char, std::char_traits<char>, "
      "std::allocator<char> >";
  const std::string ns = "quorvane::kestro::logging::";
  std::set<std::string> expected = {
      ns + "initLogging(" + str + ", " + str + ", " + str + ", bool)",
      ns + "deinitLogging()",
      ns + "flushLogs()",
      ns + "updateLoggingWithUserId(" + str + ")",
      ns + "getLoggerConfig()",
      ns + "handleMessage(quorvane::LogMessage const&, quorvane::LogCategory const*)",
      ns + "addLogConfigChangedTrigger(void (*)())",
      ns + "removeLogConfigChangedTrigger(void (*)())",
      ns + "getCompleteMasterLogConfig()",
      ns + "setCompleteMasterLogConfig(quorvane::dynamic)",
  };
  EXPECT_EQ(exportedSymbols(LOGCORE_LIBRARY), expected);
}

}  // namespace
