#pragma once

// exportedSymbols(path): the demangled names of the symbols a shared library
// defines and exports (global or weak, defined, from its dynamic symbol
// table), for tests that check a library's export list.
//
// definedSymbols(path): the demangled names of every symbol the image defines,
// local ones included (from its full symbol table; empty for a stripped
// image), for tests that check what code a library carries.
//
// Both fail the calling test (gtest EXPECTs) when the file is not a 64-bit ELF
// image.
//
// Thread safety: reads only the file it is given.

#include <cxxabi.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quorvane::test {

namespace internal {

// The defined, named symbols of the sections of type `sectionType`; local
// symbols only when `withLocal`.
inline std::set<std::string> elfSymbols(const char* path, uint32_t sectionType, bool withLocal) {
  // One read of the whole file: byte-wise iteration takes many seconds over a
  // sanitized image of tens of megabytes.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::vector<char> image(in ? static_cast<size_t>(in.tellg()) : 0);
  in.seekg(0);
  in.read(image.data(), static_cast<std::streamsize>(image.size()));
  EXPECT_GE(image.size(), sizeof(Elf64_Ehdr)) << path;
  if (image.size() < sizeof(Elf64_Ehdr)) {
    return {};
  }
  const auto* header = reinterpret_cast<const Elf64_Ehdr*>(image.data());
  EXPECT_EQ(std::memcmp(header->e_ident, ELFMAG, SELFMAG), 0) << path;
  const auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + header->e_shoff);

  std::set<std::string> names;
  for (int i = 0; i < header->e_shnum; ++i) {
    if (sections[i].sh_type != sectionType) {
      continue;
    }
    const char* strings = image.data() + sections[sections[i].sh_link].sh_offset;
    const auto* symbols = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
    const size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
    for (size_t s = 0; s < count; ++s) {
      const Elf64_Sym& symbol = symbols[s];
      const unsigned char binding = ELF64_ST_BIND(symbol.st_info);
      const bool visible =
          binding == STB_GLOBAL || binding == STB_WEAK || (withLocal && binding == STB_LOCAL);
      if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0 || !visible) {
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

}  // namespace internal

inline std::set<std::string> exportedSymbols(const char* path) {
  return internal::elfSymbols(path, SHT_DYNSYM, /*withLocal=*/false);
}

inline std::set<std::string> definedSymbols(const char* path) {
  return internal::elfSymbols(path, SHT_SYMTAB, /*withLocal=*/true);
}

}  // namespace quorvane::test
