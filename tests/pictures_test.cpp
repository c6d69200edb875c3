// The README's pictures: every picture it shows is a committed file under
// docs/, and each one is what the current modules and renderer draw
// (scripts/previews.sh, rendered afresh here, pixel for pixel). After a
// change to the modules' looks, the renderer or the sheets:
// `scripts/previews.sh docs`, then commit docs/.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "canvas.h"
#include "host_test_support.h"

namespace {

using namespace host_test;
namespace fs = std::filesystem;

const fs::path kSource = GAUGE_SOURCE_DIR;

// The targets of the README's ![...](...) pictures, as written.
std::vector<std::string> ReadmePictures() {
  const std::vector<uint8_t> bytes = ReadBytes((kSource / "README.md").string());
  const std::string text(bytes.begin(), bytes.end());
  const std::regex picture(R"(!\[[^\]]*\]\(([^)\s]+)\))");
  std::vector<std::string> targets;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), picture); it != std::sregex_iterator(); ++it)
    targets.push_back((*it)[1].str());
  return targets;
}

TEST(Pictures, ReadmeShowsCommittedPicturesUnderDocs) {
  const std::vector<std::string> pictures = ReadmePictures();
  EXPECT_GE(pictures.size(), 3u) << "one sheet per module";
  for (const std::string& picture : pictures) {
    EXPECT_TRUE(picture.starts_with("docs/")) << picture << " is not under docs/";
    EXPECT_TRUE(fs::is_regular_file(kSource / picture)) << picture << " is missing";
  }
}

TEST(Pictures, CommittedPicturesAreWhatTheModulesDrawNow) {
  const std::string fresh = ScratchPath("fresh_previews");
  fs::remove_all(fresh);
  const CommandResult r = RunShell("GAUGE_HOST=" + ShellQuote(GAUGE_HOST_COMMAND) + " GAUGE_DIST=" + ShellQuote(GAUGE_DIST_DIR) +
                                   " bash " + ShellQuote((kSource / "scripts/previews.sh").string()) + " " + ShellQuote(fresh));
  ASSERT_EQ(r.exit_code, 0) << r.err;

  std::set<std::string> drawn, committed;
  for (const auto& entry : fs::directory_iterator(fresh)) drawn.insert(entry.path().filename().string());
  for (const auto& entry : fs::directory_iterator(kSource / "docs"))
    if (entry.path().extension() == ".png" || entry.path().extension() == ".webp")
      committed.insert(entry.path().filename().string());
  EXPECT_EQ(drawn.size(), 6u) << "a sheet and an animation per module";
  EXPECT_EQ(committed, drawn) << "docs/ holds other pictures than scripts/previews.sh draws";

  for (const std::string& name : drawn) {
    SCOPED_TRACE("docs/" + name);
    if (name.ends_with(".webp")) {  // lossless and deterministic: the same bytes
      EXPECT_EQ(ReadBytes(fresh + "/" + name), ReadBytes((kSource / "docs" / name).string()))
          << "run scripts/previews.sh docs and commit docs/";
      continue;
    }
    gauge::render::Canvas now, then;
    std::string error;
    ASSERT_TRUE(gauge::render::ReadPng(fresh + "/" + name, now, error)) << error;
    ASSERT_TRUE(gauge::render::ReadPng((kSource / "docs" / name).string(), then, error)) << error;
    ASSERT_EQ(then.width, now.width) << "run scripts/previews.sh docs and commit docs/";
    ASSERT_EQ(then.height, now.height) << "run scripts/previews.sh docs and commit docs/";
    size_t differing = 0;
    for (size_t i = 0; i < now.pixels.size(); ++i) {
      const auto &a = now.pixels[i], &b = then.pixels[i];
      differing += a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a;
    }
    EXPECT_EQ(differing, 0u) << "pixels differ: run scripts/previews.sh docs and commit docs/";
  }
}

}  // namespace
