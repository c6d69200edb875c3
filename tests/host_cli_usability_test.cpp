// gauge-host as a panel builder meets it: help, answers to mistakes, output
// that names what it shows. Each row is a command line and what it must
// answer: the exit code, and parts of stdout (or of the one stderr line).
#include <gtest/gtest.h>

#include <vector>

#include "host_test_support.h"

namespace {

using namespace host_test;

std::string Dist(const std::string& module) { return "'" + DistModule(module) + "'"; }
const std::string kAirspeed = Dist("Ostrel_Airspeed"), kLanding = Dist("Tavoran_Landing"), kClimb = Dist("Velkor_Climb");
const std::string kLandingMetres = kLanding + " --set 335=2 --set 74=1250 --set 75=120";

struct Row {
  std::string args;
  int exit_code;
  std::vector<std::string> says;  // in stdout when exit code 0, else in the one stderr line
};

const std::vector<Row> kRows = {
    // Help: to stdout, exit 0, every command with its synopsis and an example.
    {"--help", 0, {"Commands:", "gauge-host run FILE.gau [--set ID=VALUE]... [--cycles N] [--json]", "Example: gauge-host "}},
    {"-h", 0, {"gauge-host sweep FILE.gau --var ID", "gauge-host click FILE.gau X Y"}},
    {"help", 0, {"gauge-host info FILE.gau [--json]", "Prints: "}},
    {"help run", 0, {"Usage: gauge-host run FILE.gau", "--cycles N", "Example: gauge-host run"}},
    {"info --help", 0, {"Usage: gauge-host info FILE.gau [--json]", "--json", "Prints: the records"}},
    {"render -h", 0, {"Usage: gauge-host render FILE.gau", "--scale S", "--areas", "Example: gauge-host render"}},
    // A misspelt command: named, with the closest one.
    {"rn " + kAirspeed, 2, {"unknown command 'rn'; did you mean 'run'?"}},
    {"fly", 2, {"unknown command 'fly'"}},
    // A variable the module never reads.
    {"run " + kAirspeed + " --set 999=5", 2, {"--set names variable 999, which this module does not read; it reads 61"}},
    {"sweep " + kAirspeed + " --var 999 --values 0,100 -o '" + ScratchPath("s.png") + "'", 2,
     {"--var names variable 999", "it reads 61"}},
    {"render " + kLanding + " --set 61=5 -o '" + ScratchPath("l.png") + "'", 2, {"it reads 74, 75 and 335"}},
    // Output files: PNG only, - for stdout.
    {"render " + kAirspeed + " -o '" + ScratchPath("out.jpg") + "'", 2, {"out.jpg: pictures are written as PNG"}},
    {"render " + kAirspeed + " -o -", 0, {"\x89PNG"}},
    // A folder, a missing file: the system's reason in one line.
    {"info '" + std::string(GAUGE_DIST_DIR) + "'", 2, {"cannot read " + std::string(GAUGE_DIST_DIR) + ": is a directory"}},
    {"info '" + ScratchPath("none.gau") + "'", 2, {"none.gau: No such file or directory"}},
    // Whole numbers are whole and decimal.
    {"click " + kLanding + " 12.5 300", 2, {"X (a face pixel) is not a whole decimal number: '12.5'"}},
    {"run " + kAirspeed + " --set 0x3d=100", 2, {"variable id is not a whole decimal number: '0x3d'"}},
    {"run " + kAirspeed + " --set 061=200", 0, {"variable 61: host value 200"}},
    // One rule for an option given twice.
    {"run " + kAirspeed + " --json --json", 2, {"--json given more than once"}},
    {"render " + kAirspeed + " --scale 1 --scale 2 -o -", 2, {"--scale given more than once"}},
    {"run " + kAirspeed + " --set 61=1 --set 61=2", 2, {"--set names variable 61 twice"}},
    // A scale that leaves no pixel.
    {"render " + kAirspeed + " --scale 0.001 -o -", 2, {"--scale 0.001 leaves the 276 x 276 gauge no pixel"}},
    // run: results named by what they drive, two cycles, the late drum noted.
    {"run " + kLandingMetres, 0,
     {"cycle 2", "element[3] (needle): needle angle 540 degrees clockwise from 3 o'clock",
      "element[1] (sprite): drum turn -22.500225002250023 degrees counter-clockwise",
      "element[2] (string): readout text \" 120\"",
      "note: element[1] (sprite) gave -0 in the cycle before and -22.500225002250023 in cycle 2",
      "ReadVariable(0x", "): variable 335 (units variable)"}},
    // The climb gauge's clamp written back, visible.
    {"run " + kClimb + " --set 65=9000", 0,
     {"calibrated value 5850", "variable 65: host value 9000; element[1] (needle) holds 5850 (written back by the module)"}},
    // JSON: named fields, codes as hex strings.
    {"run " + kAirspeed + " --set 61=100 --json", 0, {"\"name\":\"needle angle\"", "\"value\":270.0", "\"host_value\":100.0"}},
    {"info " + kLanding + " --json", 0,
     {"\"box\":{\"x\":110,\"y\":280,\"width\":30,\"height\":50}", "\"events\":[{\"event\":\"0x1015C\",\"parameter\":\"0x0\"}]",
      "\"linkage\":{\"linkage_id\":\"0x13\"", "\"variables\":[{\"id\":74,\"readers\":[{\"reader\":\"element[3] (needle)\""}},
    {"click " + kLanding + " 120 300 --json", 0, {"\"events\":[{\"event\":\"0x1015C\",\"parameter\":\"0x0\"}]"}},
    // info: size, readers of each variable, the events each area sends.
    {"info " + kLanding, 0,
     {"gauge \"Tavoran_Landing\", 296 x 334 pixels", "host variables read", "74: by element[3] (needle)",
      "335: by BindVariable, ReadVariable", "sends event 0x1015C (parameter 0x0)", "sends event 0x1015B (parameter 0x0)"}},
    // Sweeps: inconsistent options are errors.
    {"sweep " + kAirspeed + " --var 61 --from 0 --to 100 --steps 1 -o -", 2, {"--steps must lie between 2 and 400"}},
    {"sweep " + kAirspeed + " --var 61 --from 0 --steps 3 -o -", 2, {"no --to given"}},
    {"sweep " + kAirspeed + " --var 61 --values 1,2 --to 3 -o -", 2, {"give either --from, --to and --steps, or --values"}},
    {"sweep " + kLanding + " --var 74 --values 0,500 --set 335=2 --areas -o -", 0, {"\x89PNG"}},
};

TEST(HostUsability, EachMistakeAndQuestionGetsItsAnswer) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.args);
    const CommandResult r = RunHost(row.args);
    EXPECT_EQ(r.exit_code, row.exit_code) << r.err;
    const std::string& text = row.exit_code == 0 ? r.out : r.err;
    if (row.exit_code != 0) EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    else EXPECT_EQ(r.err, "");
    for (const std::string& part : row.says) EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text.substr(0, 3000);
  }
}

}  // namespace
