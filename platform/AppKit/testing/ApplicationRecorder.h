#pragma once

// ApplicationRecorder: application bundles for tests whose program records
// each start, and the clean-up of what they started.
//
// install(bundle, program, tag) writes bundle/Contents/MacOS/<program>, a
// shell script that, when run, creates <records>/<tag>.<pid> and then stays
// alive for kLifetimeSeconds (long enough for a test to run a second launch
// while it lives). starts(tag) lists the pids recorded so far, sorted;
// waitForStarts(tag, count) polls, bounded by kStartLimit, until at least
// `count` are there. processesWithArgument(path) lists the live processes that
// have `path` among their arguments (a started script has its own path there),
// so a test can tell at once that nothing else runs it. A script's own forked
// children show its arguments until they exec; they are not listed.
//
// The destructor kills the process group of every process still running one
// of the installed scripts (a launched program leads its own group, and the
// script's sleep is in it), so nothing outlives a failed test for long.
//
// Thread safety: one test thread.

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace quorvane::test {

// Field `n` of /proc/<pid>/stat counted after the command name (1 is the
// state, 2 the parent, 3 the process group, 4 the session); empty when the
// process is gone.
inline std::string procStatField(pid_t pid, int n) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t name = stat.rfind(')');
  std::istringstream fields(name == std::string::npos ? std::string() : stat.substr(name + 1));
  std::string value;
  for (int i = 0; i < n; ++i) {
    fields >> value;
  }
  return value;
}

class ApplicationRecorder {
 public:
  static constexpr int kLifetimeSeconds = 3;
  static constexpr std::chrono::seconds kStartLimit{10};

  explicit ApplicationRecorder(std::string recordsDir) : records_(std::move(recordsDir)) {
    std::filesystem::create_directories(records_);
  }
  ~ApplicationRecorder() {
    for (const std::string& script : scripts_) {
      for (pid_t pid : processesWithArgument(script)) {
        if (::kill(-pid, SIGKILL) != 0) {
          ::kill(pid, SIGKILL);
        }
      }
    }
  }
  ApplicationRecorder(const ApplicationRecorder&) = delete;
  ApplicationRecorder& operator=(const ApplicationRecorder&) = delete;

  // Returns the script's path.
  std::string install(const std::string& bundle, const std::string& program,
                      const std::string& tag) {
    const std::string folder = bundle + "/Contents/MacOS";
    std::filesystem::create_directories(folder);
    const std::string script = folder + "/" + program;
    std::ofstream(script) << "#!/bin/sh\n"
                          << ": > '" << records_ << "/" << tag << ".'$$\n"
                          << "sleep " << kLifetimeSeconds << "\n";
    ::chmod(script.c_str(), 0755);
    scripts_.push_back(script);
    return script;
  }

  std::vector<pid_t> starts(const std::string& tag) const {
    std::vector<pid_t> pids;
    const std::string prefix = tag + ".";
    for (const auto& entry : std::filesystem::directory_iterator(records_)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(prefix, 0) == 0) {
        pids.push_back(pidOf(name));
      }
    }
    std::sort(pids.begin(), pids.end());
    return pids;
  }

  std::vector<pid_t> waitForStarts(const std::string& tag, size_t count) const {
    const auto deadline = std::chrono::steady_clock::now() + kStartLimit;
    std::vector<pid_t> pids = starts(tag);
    while (pids.size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      pids = starts(tag);
    }
    return pids;
  }

  static std::vector<pid_t> processesWithArgument(const std::string& path) {
    std::vector<std::pair<pid_t, pid_t>> found;  // pid, parent
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
      const pid_t pid = pidOf(entry.path().filename().string());
      std::ifstream in(entry.path() / "cmdline", std::ios::binary);
      std::string argument;
      while (pid > 0 && std::getline(in, argument, '\0')) {
        if (argument == path) {
          found.emplace_back(pid, std::atoi(procStatField(pid, kParentField).c_str()));
          break;
        }
      }
    }
    std::vector<pid_t> pids;
    for (const auto& [pid, parent] : found) {
      if (std::none_of(found.begin(), found.end(),
                       [&](const auto& p) { return p.first == parent; })) {
        pids.push_back(pid);
      }
    }
    std::sort(pids.begin(), pids.end());
    return pids;
  }

 private:
  static constexpr int kParentField = 2;

  // The number after the last '.' (or the whole name), 0 when there is none.
  static pid_t pidOf(const std::string& name) {
    std::istringstream digits(name.substr(name.rfind('.') + 1));
    pid_t pid = 0;
    return (digits >> pid) && digits.eof() ? pid : 0;
  }

  std::string records_;
  std::vector<std::string> scripts_;
};

}  // namespace quorvane::test
