// scripts/package.sh: the release zip holds exactly the modules as built,
// the notes and the preview sheets in one folder, its SHA256SUMS verifies
// after unzipping, every entry has the fixed time and mode, packaging twice
// (other time zone, other umask) gives the same bytes, and INSTALL.txt names
// each gauge and its size as the built module has them.
#include <gtest/gtest.h>

#include <ctime>
#include <regex>

#include "gauge_session.h"
#include "host_test_support.h"

namespace {

using namespace host_test;

// A fixed commit time for both runs: 2026-12-11 10:00:00 UTC.
constexpr long kEpoch = 1796983200;
const std::string kFolder = std::string("cockpit-gauges-") + GAUGE_VERSION;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class Package : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const auto& [folder, tz, mask] : {std::tuple{"first", "UTC", "022"}, std::tuple{"second", "Asia/Tokyo", "077"}}) {
      const std::string out = ScratchPath(std::string("package_") + folder);
      const CommandResult r = RunShell("umask " + std::string(mask) + " && SOURCE_DATE_EPOCH=" + std::to_string(kEpoch) +
                                       " TZ=" + tz + " bash " + ShellQuote(std::string(GAUGE_SOURCE_DIR) + "/scripts/package.sh") +
                                       " " + ShellQuote(out));
      ASSERT_EQ(r.exit_code, 0) << r.err;
      zips_.push_back(out + "/" + kFolder + ".zip");
      ASSERT_EQ(r.out, zips_.back() + "\n");
    }
  }
  static const std::string& zip() { return zips_[0]; }
  static inline std::vector<std::string> zips_;
};

TEST_F(Package, TwoRunsGiveTheSameBytes) {
  ASSERT_EQ(zips_.size(), 2u);
  const std::vector<uint8_t> first = ReadBytes(zips_[0]), second = ReadBytes(zips_[1]);
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(first == second) << zips_[0] << " and " << zips_[1] << " differ";
}

TEST_F(Package, HoldsExactlyTheReleaseFilesInOrder) {
  const CommandResult r = RunShell("unzip -Z1 " + ShellQuote(zip()));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> expected;
  for (const char* file : {"CHANGELOG.md", "INSTALL.txt", "LICENSE", "Ostrel_Airspeed.gau", "SHA256SUMS",
                           "Tavoran_Landing.gau", "Velkor_Climb.gau", "previews/Ostrel_Airspeed.png",
                           "previews/Tavoran_Landing.png", "previews/Velkor_Climb.png"})
    expected.push_back(kFolder + "/" + file);
  EXPECT_EQ(Lines(r.out), expected);
}

// `unzip -Z -T` lists mode and time (yyyymmdd.hhmmss, local time of the
// reader: read in UTC, as written) of each entry.
TEST_F(Package, EveryEntryHasTheCommitTimeAndMode644) {
  const CommandResult r = RunShell("TZ=UTC unzip -Z -T " + ShellQuote(zip()));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  char stamp[32];
  const std::time_t t = kEpoch;
  std::strftime(stamp, sizeof stamp, "%Y%m%d.%H%M%S", std::gmtime(&t));
  int entries = 0;
  const std::regex entry(R"(^(\S+)\s+\S+\s+\S+\s+\d+\s+\S+\s+\S+\s+(\d{8}\.\d{6})\s+(\S+)$)");
  for (const std::string& line : Lines(r.out)) {
    std::smatch m;
    if (!std::regex_match(line, m, entry)) continue;
    ++entries;
    EXPECT_EQ(m[1].str(), "-rw-r--r--") << m[3];
    EXPECT_EQ(m[2].str(), stamp) << m[3];
  }
  EXPECT_EQ(entries, 10) << r.out;
}

TEST_F(Package, ChecksumsVerifyAfterUnzippingAndModulesAreTheBuiltOnes) {
  const std::string into = ScratchPath("unzipped");
  const CommandResult unzip = RunShell("rm -rf " + ShellQuote(into) + " && unzip -q " + ShellQuote(zip()) + " -d " + ShellQuote(into));
  ASSERT_EQ(unzip.exit_code, 0) << unzip.err;
  const std::string folder = into + "/" + kFolder;
  const CommandResult check = RunShell("cd " + ShellQuote(folder) + " && sha256sum --check --strict SHA256SUMS");
  EXPECT_EQ(check.exit_code, 0) << check.out << check.err;
  const std::vector<std::string> checked = Lines(check.out);
  EXPECT_EQ(checked.size(), 9u) << "every file but SHA256SUMS itself: " << check.out;
  for (const std::string& line : checked) EXPECT_TRUE(line.ends_with(": OK")) << line;

  for (const char* module : {"Ostrel_Airspeed", "Tavoran_Landing", "Velkor_Climb"}) {
    EXPECT_TRUE(ReadBytes(folder + "/" + module + ".gau") == ReadBytes(DistModule(module))) << module;
    EXPECT_TRUE(ReadBytes(folder + "/previews/" + module + ".png") ==
                ReadBytes(std::string(GAUGE_DIST_DIR) + "/preview/" + module + ".png"))
        << module;
  }
  for (const char* file : {"LICENSE", "CHANGELOG.md"})
    EXPECT_TRUE(ReadBytes(folder + "/" + file) == ReadBytes(std::string(GAUGE_SOURCE_DIR) + "/" + file)) << file;
}

// INSTALL.txt's table row of each module: file, gauge name, face size, as the
// built module reports them (name from its gauge header, size from its face
// bitmap).
TEST_F(Package, InstallNotesNameEachGaugeAndItsSize) {
  const std::vector<uint8_t> bytes = ReadBytes(std::string(GAUGE_SOURCE_DIR) + "/docs/INSTALL.txt");
  const std::string notes(bytes.begin(), bytes.end());
  for (const auto& [module, face] : {std::pair{"Ostrel_Airspeed", 200u}, std::pair{"Tavoran_Landing", 255u},
                                     std::pair{"Velkor_Climb", 4096u}}) {
    SCOPED_TRACE(module);
    auto s = gauge::GaugeSession::Load(DistModule(module));
    const auto bitmap = s->Bitmap(face);
    ASSERT_TRUE(bitmap);
    const std::string size = std::to_string(bitmap->width) + " x " + std::to_string(bitmap->height);
    const std::regex row("\\s*" + std::string(module) + "\\.gau\\s+" + s->gauge_name() + "\\s+" + size);
    int rows = 0;
    for (const std::string& line : Lines(notes)) rows += std::regex_match(line, row);
    EXPECT_EQ(rows, 1) << "a row naming " << module << ".gau, \"" << s->gauge_name() << "\" and " << size;
  }
}

}  // namespace
