// cmake --install into a temporary prefix: gauge-host in bin/, the shipped
// modules in share/cockpit-gauges/, and the installed gauge-host renders an
// installed module from outside the source and build trees, the same picture
// as the built one, without naming either tree in any byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "canvas.h"
#include "host_test_support.h"

namespace {

using namespace host_test;

class Install : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix_ = ScratchPath("prefix");
    std::filesystem::remove_all(prefix_);
    const CommandResult r = RunShell("cmake --install " + ShellQuote(GAUGE_NATIVE_BUILD_DIR) + " --prefix " + ShellQuote(prefix_));
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  }
  // A sanitizer build installs a host that is not the one that ships (it
  // names its sources and needs its suppressions), so the release is checked
  // in the normal build only.
  void SetUp() override {
#ifdef GAUGE_SANITIZE
    GTEST_SKIP() << "the installed host is checked in the normal build";
#endif
  }
  static std::string Installed(const std::string& path) { return prefix_ + "/" + path; }
  // Runs the installed gauge-host in `dir`, with a fresh home and no
  // variables pointing anywhere in the trees.
  static CommandResult RunInstalled(const std::string& dir, const std::string& args) {
    return RunShell("cd " + ShellQuote(dir) + " && env -i PATH=/usr/bin:/bin HOME=" + ShellQuote(dir) + " timeout 60 " +
                    ShellQuote(Installed("bin/gauge-host")) + " " + args);
  }
  static inline std::string prefix_;
};

TEST_F(Install, PutsTheHostInBinAndTheModulesInShare) {
  namespace fs = std::filesystem;
  const fs::path host = Installed("bin/gauge-host");
  ASSERT_TRUE(fs::is_regular_file(host));
  EXPECT_NE(fs::status(host).permissions() & fs::perms::owner_exec, fs::perms::none);
  for (const char* module : {"Ostrel_Airspeed", "Tavoran_Landing", "Velkor_Climb"}) {
    const std::vector<uint8_t> installed = ReadBytes(Installed(std::string("share/cockpit-gauges/") + module + ".gau"));
    EXPECT_FALSE(installed.empty()) << module;
    EXPECT_TRUE(installed == ReadBytes(DistModule(module))) << module << " differs from the shipped one";
  }
  for (const char* doc : {"LICENSE", "CHANGELOG.md", "INSTALL.txt"})
    EXPECT_TRUE(fs::is_regular_file(Installed(std::string("share/doc/cockpit-gauges/") + doc))) << doc;
}

TEST_F(Install, InstalledHostRendersAnInstalledModuleLikeTheBuiltOne) {
  const std::string work = ScratchPath("installed_run");
  std::filesystem::create_directories(work);
  const CommandResult version = RunInstalled(work, "--version");
  EXPECT_EQ(version.exit_code, 0) << version.err;
  EXPECT_EQ(version.out, std::string("gauge-host ") + GAUGE_VERSION + "\n");

  // The landing altimeter draws text too: its readout's font comes through fontconfig.
  const std::string state = "--set 335=2 --set 74=730 --set 75=120";
  const CommandResult render = RunInstalled(
      work, "render " + ShellQuote(Installed("share/cockpit-gauges/Tavoran_Landing.gau")) + " " + state + " -o installed.png");
  ASSERT_EQ(render.exit_code, 0) << render.err;
  const CommandResult built =
      RunHost("render " + ShellQuote(DistModule("Tavoran_Landing")) + " " + state + " -o " + ShellQuote(work + "/built.png"));
  ASSERT_EQ(built.exit_code, 0) << built.err;

  gauge::render::Canvas picture;
  std::string error;
  ASSERT_TRUE(gauge::render::ReadPng(work + "/installed.png", picture, error)) << error;
  EXPECT_EQ(picture.width, 296);
  EXPECT_EQ(picture.height, 334);
  EXPECT_TRUE(ReadBytes(work + "/installed.png") == ReadBytes(work + "/built.png"))
      << "the installed gauge-host draws another picture than the built one";
}

TEST_F(Install, InstalledHostNamesNeitherTree) {
  const std::vector<uint8_t> host = ReadBytes(Installed("bin/gauge-host"));
  ASSERT_FALSE(host.empty());
  for (const std::string& tree : {std::string(GAUGE_SOURCE_DIR), std::string(GAUGE_NATIVE_BUILD_DIR)}) {
    EXPECT_EQ(std::search(host.begin(), host.end(), tree.begin(), tree.end()), host.end())
        << "the installed gauge-host names " << tree;
  }
}

}  // namespace
