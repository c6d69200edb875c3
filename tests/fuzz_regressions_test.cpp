// Every input the PE loader's fuzz target ever failed on (kept in
// tests/fuzz/regressions/), replayed in the normal build through the same
// info path and through `gauge-host info` itself, as text and as JSON: each
// one loads or is refused with one line on stderr and exit code 2. The
// fuzzer's seeds, the shipped modules, load.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>

#include "info_path.h"

namespace gauge::test {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> Regressions() {
  std::vector<std::string> cases;
  const fs::path dir = fs::path(GAUGE_SOURCE_DIR) / "tests/fuzz/regressions";
  if (fs::exists(dir))
    for (const auto& entry : fs::directory_iterator(dir)) cases.push_back(entry.path().string());
  std::sort(cases.begin(), cases.end());
  return cases;
}

class FuzzRegression : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, LoadsOrIsRefusedCleanly) {
  EXPECT_NO_THROW(fuzz::RunInfoPath(FileBytes(GetParam())));
  for (const char* format : {"", " --json"}) {
    const fs::path errors = fs::temp_directory_path() / ("fuzz-regression-" + std::to_string(::getpid()));
    const std::string command = std::string(GAUGE_HOST_COMMAND) + " info '" + GetParam() + "'" + format +
                                " >/dev/null 2>" + errors.string();
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << "gauge-host info" << format << " did not exit normally";
    const std::vector<uint8_t> text = FileBytes(errors);
    fs::remove(errors);
    if (WEXITSTATUS(status) == 0) continue;
    EXPECT_EQ(WEXITSTATUS(status), 2) << format;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << std::string(text.begin(), text.end());
  }
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzRegression, ::testing::ValuesIn(Regressions()),
                         [](const auto& info) {
                           std::string name = fs::path(info.param).filename().string();
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegression);

TEST(FuzzSeeds, ShippedModulesLoadThroughTheInfoPath) {
  for (const char* module : {"Ostrel_Airspeed", "Tavoran_Landing", "Velkor_Climb"})
    EXPECT_TRUE(fuzz::RunInfoPath(FileBytes(std::string(GAUGE_DIST_DIR) + "/" + module + ".gau"))) << module;
}

}  // namespace
}  // namespace gauge::test
