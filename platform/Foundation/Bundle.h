#pragma once

// Bundle: a bundle directory seen the way the platform's bundle class sees it:
// its path, its Info.plist, and the program inside it.
//
// A bundle X keeps its program in X/Contents/MacOS/ and its information
// property list in X/Contents/Info.plist. The program's file name is the
// CFBundleExecutable string of that list; without a usable one (no list, a
// list this reader cannot read, no such key, or a value that is not a plain
// file name) it is the bundle's own name without the ".app" extension.
//
// mainBundle: the bundle of the running program, found from the program's path
// as the kernel reports it (/proc/self/exe), never from argv[0], so a program
// started through a symbolic link or with a made-up argv[0] still finds its
// bundle. Throws std::system_error when that path cannot be read.
//
// forExecutable: the bundle of the program at `executablePath`: X when the
// program lies in X/Contents/MacOS/, otherwise the folder it lies in. Pure
// path work; the file system is not consulted.
//
// infoString: the string under `key` in Contents/Info.plist (see
// PropertyList.h), nullopt when there is none. The list is read afresh on each
// call and only when it is a regular file of at most kMaxInfoPlistBytes.
//
// executablePath: Contents/MacOS/ + the program's file name, or nullopt when
// no file name can be formed (the bundle path is "/" or names ".app" alone).
// Whether that file exists is left to the caller.
//
// Errors: only mainBundle throws (and std::bad_alloc anywhere); unreadable
// files count as missing. Thread safety: objects are immutable; any thread may
// use them.

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::platform {

// Larger lists are not read: an Info.plist is a few kilobytes.
inline constexpr size_t kMaxInfoPlistBytes = 1 << 20;

class Bundle {
 public:
  explicit Bundle(std::string bundlePath);

  static Bundle mainBundle();
  static Bundle forExecutable(std::string_view executablePath);

  const std::string& bundlePath() const { return path_; }
  std::string infoPlistPath() const;
  std::optional<std::string> infoString(std::string_view key) const;
  std::optional<std::string> executablePath() const;

 private:
  // The bundle path followed by `suffix` (which starts with "/").
  std::string pathInside(std::string_view suffix) const;
  // The last component of the path without ".app".
  std::string nameWithoutExtension() const;

  std::string path_;
};

}  // namespace quorvane::platform
