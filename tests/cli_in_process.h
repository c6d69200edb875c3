// gauge-host's subcommands run in this process through the gauge_cli
// library, for the kind of error a command line fails with: the one line on
// stderr names the problem, the kind tells the cases apart.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "command.h"
#include "host_error.h"

namespace gauge::test {

// The words of a command line as the tests write it: separated by spaces,
// a word in single quotes taken as it is (the tests quote no quote).
inline std::vector<std::string> CommandWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, started = false;
  for (const char c : line) {
    if (c == '\'') {
      quoted = !quoted;
      started = true;
    } else if (c == ' ' && !quoted) {
      if (started) words.push_back(word);
      word.clear();
      started = false;
    } else {
      word += c;
      started = true;
    }
  }
  if (started) words.push_back(word);
  return words;
}

// Runs the command line (after "gauge-host") in this process, its output
// discarded; the kind of the HostError it ends with, or nothing when it
// succeeds or throws anything else.
inline std::optional<ErrorKind> CommandErrorKind(const std::string& line) {
  const std::vector<std::string> words = CommandWords(line);
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, STDOUT_FILENO);
  close(null);
  std::optional<ErrorKind> kind;
  try {
    std::string command;
    cli::RunCommandLine(words, command);
  } catch (const HostError& error) {
    kind = error.kind();
  } catch (...) {
  }
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  return kind;
}

}  // namespace gauge::test
