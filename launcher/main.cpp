// relauncher: the login item of the main application.
//
// Installed at Main.app/Contents/Library/LoginItems/Launcher.app and started by
// the system at login, it starts the main application four directory levels
// above its own bundle and exits with status 0. It takes no arguments, reads no
// configuration and writes nothing.

#include "launcher/Launcher.h"
#include "launcher/SystemLauncherPlatform.h"

int main() {
  quorvane::launcher::SystemLauncherPlatform platform;
  return quorvane::launcher::runLauncher(platform);
}
