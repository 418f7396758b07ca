#pragma once

// Path arithmetic of the login launcher: from the launcher's own bundle to the
// main application's bundle.
//
// The launcher is installed four directory levels below the main application's
// bundle, at Main.app/Contents/Library/LoginItems/Launcher.app, so the main
// application is what remains of the launcher bundle's path once its last four
// components are dropped.
//
// pathComponents: the components of `path`. A leading "/" is a component of
// its own; empty components (from repeated or trailing slashes) are dropped, so
// "/Applications//Main.app/" gives {"/", "Applications", "Main.app"}.
//
// pathWithComponents: the inverse: joins components with "/", without doubling
// the slash after a leading "/" component. An empty list gives "".
//
// mainApplicationPath: the main application's bundle path for the launcher
// bundle at `launcherBundlePath`, or nullopt when that path has four
// components or fewer (the launcher is not installed inside an application).
//
// Errors: none; only std::bad_alloc can escape. Thread safety: pure functions.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::launcher {

// How many components lie between the main application's bundle and the end of
// the launcher's bundle path: Contents, Library, LoginItems, Launcher.app.
inline constexpr size_t kLauncherDepth = 4;

std::vector<std::string> pathComponents(std::string_view path);

std::string pathWithComponents(const std::vector<std::string>& components);

std::optional<std::string> mainApplicationPath(std::string_view launcherBundlePath);

}  // namespace quorvane::launcher
