#pragma once

// SpawnedProcess: a helper program for tests (a bus daemon, a mock server),
// started in a process group of its own with its output in a file. It dies
// with the test process (parent-death signal, set by setpriv before the
// program starts), and stop() or the destructor end its whole group: SIGTERM,
// then SIGKILL after a grace period; the program is always reaped. So a test
// that fails, or crashes, leaves nothing running.
//
// Thread safety: one test thread owns the object; the parent-death signal
// follows that thread, so start and stop it on the same thread.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace quorvane::platform::notifications::test {

class SpawnedProcess {
 public:
  static constexpr std::chrono::milliseconds kStopGrace{3000};

  // Runs `argv` with the environment of the test plus `environment`
  // ("NAME=value" entries), standard output and error appended to
  // `outputPath`. Throws std::runtime_error when it cannot be started.
  SpawnedProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                 const std::string& outputPath) {
    std::vector<std::string> command = {"setpriv", "--pdeathsig", "KILL", "--"};
    command.insert(command.end(), argv.begin(), argv.end());
    std::vector<std::string> variables = environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      variables.emplace_back(*entry);  // after the overrides: the first entry of a name wins
    }
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_t files;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, outputPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> args = pointers(command);
    std::vector<char*> env = pointers(variables);
    const int r = ::posix_spawnp(&pid_, args[0], &files, &attributes, args.data(), env.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (r != 0) {
      throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(r));
    }
  }

  ~SpawnedProcess() { stop(); }
  SpawnedProcess(const SpawnedProcess&) = delete;
  SpawnedProcess& operator=(const SpawnedProcess&) = delete;

  // Whether the program still runs (it is reaped once it has ended).
  bool running() {
    if (pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
    }
    return pid_ > 0;
  }

  // Sends `signal` to the program's group without waiting.
  void signal(int number) {
    if (pid_ > 0) {
      ::kill(-pid_, number);
    }
  }

  void stop() {
    if (!running()) {
      return;
    }
    signal(SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (pid_ > 0) {
      signal(SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  static std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
      result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
  }

  pid_t pid_ = -1;
};

}  // namespace quorvane::platform::notifications::test
