// Test helper: runs a program in a child process with extra environment
// variables, captures its standard output and error, its exit status, its
// wall time and the CPU time it used; kills it when it outlives a limit.
#ifndef ORASAY_TESTS_RUN_PROGRAM_H
#define ORASAY_TESTS_RUN_PROGRAM_H

#include <fcntl.h>
#include <grp.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orasay_test {

struct RunResult {
  int status = -1;  // exit status; -1 when killed or crashed
  bool timed_out = false;
  std::string out, err;
  double seconds = 0;      // wall time
  double cpu_seconds = 0;  // user + system time of the child
};

struct RunSpec {
  std::vector<std::string> command;  // program and arguments
  std::vector<std::pair<std::string, std::string>> env;  // added or replaced
  std::string dir;        // working directory, "" = inherited
  double limit = 20;      // seconds before the child is killed
  bool terminal = false;  // standard output on a pseudo-terminal
  uid_t uid = 0;          // run as this user and group, 0 = as is
};

inline std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string temp_path(const std::string &stem) {
  std::string templ = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  templ += "/" + stem + "-XXXXXX";
  const int fd = mkstemp(templ.data());
  if (fd >= 0) close(fd);
  return templ;
}

inline RunResult run_program(const RunSpec &spec) {
  const std::string out_path = temp_path("orasay-out");
  const std::string err_path = temp_path("orasay-err");
  int master = -1;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid =
      spec.terminal ? forkpty(&master, nullptr, nullptr, nullptr) : fork();
  if (pid == 0) {
    for (const auto &[name, value] : spec.env)
      setenv(name.c_str(), value.c_str(), 1);
    if (!spec.dir.empty() && chdir(spec.dir.c_str()) != 0) _exit(126);
    if (!spec.terminal) {
      const int out = open(out_path.c_str(), O_WRONLY | O_TRUNC);
      dup2(out, STDOUT_FILENO);
    }
    const int err = open(err_path.c_str(), O_WRONLY | O_TRUNC);
    dup2(err, STDERR_FILENO);
    const int in = open("/dev/null", O_RDONLY);
    dup2(in, STDIN_FILENO);
    if (spec.uid != 0 && (setgroups(0, nullptr) != 0 || setgid(spec.uid) != 0 ||
                          setuid(spec.uid) != 0))
      _exit(126);
    std::vector<char *> argv;
    for (const std::string &a : spec.command)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  RunResult r;
  std::string terminal_out;
  int wstatus = 0;
  struct rusage usage {};
  for (;;) {
    if (master >= 0) {
      char buf[4096];
      fcntl(master, F_SETFL, O_NONBLOCK);
      ssize_t n;
      while ((n = read(master, buf, sizeof buf)) > 0)
        terminal_out.append(buf, n);
    }
    if (wait4(pid, &wstatus, WNOHANG, &usage) == pid) break;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
            .count();
    if (elapsed > spec.limit && !r.timed_out) {
      r.timed_out = true;
      kill(pid, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  r.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  r.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                  usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
  if (master >= 0) {
    char buf[4096];
    ssize_t n;
    while ((n = read(master, buf, sizeof buf)) > 0) terminal_out.append(buf, n);
    close(master);
    // The terminal turns each line end into CR LF.
    for (char c : terminal_out)
      if (c != '\r') r.out += c;
  } else {
    r.out = read_file(out_path);
  }
  r.err = read_file(err_path);
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  return r;
}

}  // namespace orasay_test

#endif  // ORASAY_TESTS_RUN_PROGRAM_H
