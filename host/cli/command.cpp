// The table of subcommands and the parsing of a command line.
#include "command.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "host_error.h"
#include "version.h"

namespace gauge::cli {
namespace {

constexpr char kAbout[] =
    "gauge-host loads a gauge module (.gau, a 32-bit Windows plug-in) into an emulated x86 CPU,\n"
    "plays the flight simulator's part (services, host variables, update cycles, clicks) and\n"
    "shows what the module does: its records, its results, its pictures.";

// Edit distance between two words (insertions, deletions, substitutions).
size_t Distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

const Command* Find(const std::string& name) {
  for (const Command& c : Commands())
    if (c.name == name) return &c;
  return nullptr;
}

[[noreturn]] void UnknownCommand(const std::string& word) {
  const Command* closest = nullptr;
  size_t best = 3;  // farther than two edits is no suggestion
  for (const Command& c : Commands())
    if (const size_t d = Distance(word, c.name); d < best) best = d, closest = &c;
  std::string message = "unknown command '" + word + "'";
  if (closest) message += "; did you mean '" + closest->name + "'?";
  throw HostError(ErrorKind::kUsage, message + " (gauge-host --help lists the commands)");
}

std::vector<const Command*> Sorted() {
  std::vector<const Command*> sorted;
  for (const Command& c : Commands()) sorted.push_back(&c);
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->name < b->name; });
  return sorted;
}

std::string Overview() {
  std::string text = std::string(kAbout) + "\n\nUsage: gauge-host COMMAND ARGUMENTS...\n\nCommands:\n";
  for (const Command* c : Sorted()) {
    text += "  gauge-host " + c->synopsis + "\n";
    text += "      " + c->summary + "\n      Prints: " + c->prints + "\n";
    text += "      Example: gauge-host " + c->example + "\n\n";
  }
  text += "Options:\n  -h, --help   this help; gauge-host COMMAND --help (or gauge-host help COMMAND) explains\n"
          "               each option of one command\n  --version    the version\n";
  text += "\nBad input (a missing or malformed file, a module that misbehaves, a mistaken option)\n"
          "is one line on stderr and exit code 2.\n";
  return text;
}

// A command's help: CLI11's list of options under our synopsis, then the
// example and what it prints.
class CommandFormatter : public CLI::Formatter {
 public:
  explicit CommandFormatter(const Command& command) : command_(command) {}
  std::string make_usage(const CLI::App*, std::string) const override {
    return "Usage: gauge-host " + command_.synopsis + "\n";
  }
  std::string make_footer(const CLI::App*) const override {
    return "Prints: " + command_.prints + "\nExample: gauge-host " + command_.example + "\n";
  }

 private:
  const Command& command_;
};

struct Parser {
  CLI::App app{kAbout, "gauge-host"};
  std::vector<std::pair<CLI::App*, std::function<int()>>> actions;

  Parser() {
    app.set_help_flag("-h,--help", "this help");
    app.set_version_flag("--version", "gauge-host " GAUGE_VERSION, "the version");
    app.require_subcommand(1);
    for (const Command& c : Commands()) {
      CLI::App* sub = app.add_subcommand(c.name, c.summary);
      sub->set_help_flag("-h,--help", "this help");
      sub->formatter(std::make_shared<CommandFormatter>(c));
      actions.emplace_back(sub, c.define(*sub));
      // One rule for every option: given twice is a mistake. Only --set,
      // which names a different variable each time, may be repeated.
      for (CLI::Option* option : sub->get_options())
        if (option->get_multi_option_policy() != CLI::MultiOptionPolicy::TakeAll)
          option->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    }
  }
};

// One line for a CLI11 parse error of `command`.
std::string ParseMessage(const CLI::ParseError& error, const CLI::App& sub, const Command& command) {
  for (const CLI::Option* option : sub.get_options())
    if (option->count() > 1 && option->get_multi_option_policy() == CLI::MultiOptionPolicy::Throw)
      return option->get_name() + " given more than once; usage: gauge-host " + command.synopsis;
  std::string what = error.what();
  std::replace(what.begin(), what.end(), '\n', ' ');
  return what + "; usage: gauge-host " + command.synopsis;
}

}  // namespace

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {AnimateCommand(), ClickCommand(), InfoCommand(), RenderCommand(),
                                                RunCommand(), ServeCommand(), SweepCommand()};
  return commands;
}

int RunCommandLine(const std::vector<std::string>& words, std::string& command) {
  command.clear();
  if (words.empty()) throw HostError(ErrorKind::kUsage, "no command given (gauge-host --help lists the commands)");
  const std::string& first = words[0];
  if (first == "-h" || first == "--help" || (first == "help" && words.size() == 1)) {
    std::fputs(Overview().c_str(), stdout);
    return 0;
  }
  std::vector<std::string> args = words;
  if (first == "help") {  // help COMMAND is COMMAND --help
    if (words.size() > 2) throw HostError(ErrorKind::kUsage, "usage: gauge-host help [COMMAND]");
    args = {words[1], "--help"};
  }
  if (args[0].empty() || args[0][0] != '-') {
    if (!Find(args[0])) UnknownCommand(args[0]);
    command = args[0];
  }

  Parser parser;
  std::reverse(args.begin(), args.end());  // CLI11 takes them last first
  try {
    parser.app.parse(args);
  } catch (const CLI::CallForHelp&) {
    const auto parsed = parser.app.get_subcommands();
    std::fputs(parsed.empty() ? Overview().c_str() : parsed[0]->help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    return 0;
  } catch (const CLI::ParseError& error) {
    const Command* c = Find(command);
    if (!c) throw HostError(ErrorKind::kUsage, std::string(error.what()) + " (gauge-host --help lists the commands)");
    throw HostError(ErrorKind::kUsage, ParseMessage(error, *parser.app.get_subcommand(command), *c));
  }
  for (auto& [sub, action] : parser.actions)
    if (sub->parsed()) return action();
  return 2;  // not reached: CLI11 requires one subcommand
}

}  // namespace gauge::cli
