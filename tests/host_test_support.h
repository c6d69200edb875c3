// Shared by the frame and host tests: where the built modules are, running
// the gauge-host command, and byte-level copies of a module for bad-input
// cases.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace host_test {

inline std::string DistModule(const std::string& name) { return std::string(GAUGE_DIST_DIR) + "/" + name + ".gau"; }

inline std::string FixtureModule(const std::string& name) {
  return std::string(GAUGE_MODULE_BUILD_DIR) + "/tests/fixture_modules/frame/" + name + ".gau";
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint32_t Word(const std::vector<uint8_t>& b, size_t at) {
  uint32_t v;
  std::memcpy(&v, &b[at], 4);
  return v;
}

inline void PutWord(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); }

// Offsets in a PE32 file, from its headers.
struct PeOffsets {
  explicit PeOffsets(const std::vector<uint8_t>& b) : pe(Word(b, 0x3C)) {
    optional_size = uint16_t(b[pe + 20] | b[pe + 21] << 8);
    sections = pe + 24 + optional_size;
  }
  size_t pe;
  uint16_t optional_size;
  size_t sections;
  size_t characteristics() const { return pe + 22; }
  size_t magic() const { return pe + 24; }
  size_t size_of_image() const { return pe + 24 + 56; }
  size_t directory(int index) const { return pe + 24 + 96 + 8 * size_t(index); }
  size_t section(int index) const { return sections + 40 * size_t(index); }
};

// A case's description as a test name: letters and digits, the rest "_".
inline std::string TestName(const std::string& description) {
  std::string name;
  for (const char c : description) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name;
}

// A scratch file path unique to the running test.
inline std::string ScratchPath(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("gauge_host_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

struct CommandResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// `text` as one word of a shell command line.
inline std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs a shell command line, with its output and errors captured.
inline CommandResult RunShell(const std::string& command_line) {
  const std::string out = ScratchPath("stdout"), err = ScratchPath("stderr");
  const std::string command = "(" + command_line + ") >" + out + " 2>" + err;
  const int status = std::system(command.c_str());
  CommandResult r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto o = ReadBytes(out), e = ReadBytes(err);
  r.out.assign(o.begin(), o.end());
  r.err.assign(e.begin(), e.end());
  return r;
}

// Runs gauge-host with `args` (already shell-quoted where needed).
inline CommandResult RunHost(const std::string& args) {
  return RunShell("timeout 60 " + std::string(GAUGE_HOST_COMMAND) + " " + args);
}

// gauge-host under a time limit and an address-space cap (the emulator
// reserves about 1 GB for translated code; 512 MB more is far above what
// the host needs for anything it accepts), with the largest resident set it
// reached, in KB. (AddressSanitizer reserves terabytes of address space and
// doubles what is resident: sanitized builds run without the cap.)
struct ContainedResult : CommandResult {
  long peak_kb = 0;
};

inline ContainedResult RunHostContained(const std::string& args) {
#ifdef GAUGE_SANITIZE
  const std::string limits = "timeout 60 ";
#else
  const std::string limits = "ulimit -v " + std::to_string(1536 * 1024) + " && timeout 30 ";
#endif
  const std::string out = ScratchPath("stdout"), err = ScratchPath("stderr");
  const std::string command = limits + std::string(GAUGE_HOST_COMMAND) + " " + args + " >" + out + " 2>" + err;
  ContainedResult r;
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.peak_kb = usage.ru_maxrss;  // the shell's or, waited for by it, gauge-host's
  const auto o = ReadBytes(out), e = ReadBytes(err);
  r.out.assign(o.begin(), o.end());
  r.err.assign(e.begin(), e.end());
  return r;
}

}  // namespace host_test
