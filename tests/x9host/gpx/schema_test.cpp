// Every GPX x9host writes is GPX 1.1, whatever values it carries: the outputs of the watch and
// the transfer list, made from values at the edges, validated against the schema itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "x9host_support.h"

namespace {

using namespace x9host_test;

// GPX 1.1's schema as published, kept beside this test so that every clone has it.
const fs::path kSchema = fs::path(X9HOST_SOURCE_DIR) / "tests" / "x9host" / "gpx" / "gpx-1.1.xsd";

bool Valid(const fs::path& gpx, std::string& said) {
  const fs::path out = gpx.string() + ".xmllint";
  const int status = std::system(("xmllint --noout --schema '" + kSchema.string() + "' '" +
                                  gpx.string() + "' >'" + out.string() + "' 2>&1")
                                     .c_str());
  said = ReadText(out);
  fs::remove(out);
  return status == 0;
}

TEST_F(X9hostProgram, WhatIsWrittenIsGpx11AtEveryValue) {
  if (std::system("command -v xmllint >/dev/null") != 0)
    GTEST_SKIP() << "xmllint is installed by tools/setup.sh";
  ASSERT_TRUE(fs::exists(kSchema)) << kSchema;
  // Coordinates: tiny and huge magnitudes, negative zero, the poles and the date line.
  const std::vector<std::pair<std::string, std::string>> coordinates = {
      {"0.0000001", "-0.0000001"},
      {"-0.00001", "0.00001"},
      {"-0", "-0.0"},
      {"90", "-180"},
      {"-90", "179.9999999"},
      {"89.9999999", "0.0000010"},
      {"1e-5", "-1E-7"},
      {"0", "180"},
      // More digits than a validator reads a decimal with: rounded, and warned of.
      {"1e-300", "-2.7755575615628914e-17"},
  };
  // Elevations the watch and the list carry, at the edges of what they hold.
  const std::vector<std::string> elevations = {"0",
                                               "-0",
                                               "0.001",
                                               "-0.5",
                                               "1e-4",
                                               "8848.86",
                                               "-418",
                                               "1e6",
                                               "1E-9",
                                               "1e23",
                                               "1.2345678901234567e-7"};
  std::string watch = kGpxHead;
  std::string list = kGpxHead;
  int n = 0;
  for (const auto& [lat, lon] : coordinates) {
    for (const std::string& ele : elevations) {
      const std::string point = "lat=\"" + lat + "\" lon=\"" + lon + "\"><ele>" + ele + "</ele>";
      watch += "<wpt " + point + "<name>P" + std::to_string(n) + "</name></wpt>\n";
      list += "<wpt " + point + "<name>Q" + std::to_string(n++) + "</name></wpt>\n";
    }
  }
  watch += "<rte><name>edges</name>";
  list += "<rte><name>edges</name>";
  for (const auto& [lat, lon] : coordinates) {
    watch += "<rtept lat=\"" + lat + "\" lon=\"" + lon + "\"><ele>1e-3</ele></rtept>";
    list += "<rtept lat=\"" + lat + "\" lon=\"" + lon + "\"><ele>-1e-3</ele></rtept>";
  }
  watch += "</rte>\n<trk><name>t</name><trkseg>";
  for (const auto& [lat, lon] : coordinates) {
    watch += "<trkpt lat=\"" + lat + "\" lon=\"" + lon +
             "\"><ele>0.25</ele><time>2024-12-31T23:59:59Z</time></trkpt>";
  }
  watch += "</trkseg></trk></gpx>\n";
  list += "</rte></gpx>\n";
  WriteText(Path("watch.gpx"), watch);
  WriteText(Path("list.gpx"), list);

  const Outcome outcome =
      Run({"download-all", "--yes", "--watch", Path("watch.gpx").string(), "--list",
           Path("list.gpx").string(), "--out", Path("out.gpx").string(), "--watch-out",
           Path("watch-out.gpx").string()});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  for (const char* written : {"out.gpx", "watch-out.gpx"}) {
    SCOPED_TRACE(written);
    std::string said;
    EXPECT_TRUE(Valid(Path(written), said)) << said;
    std::smatch exponent;
    const std::string text = ReadText(Path(written));
    EXPECT_FALSE(std::regex_search(text, exponent, std::regex("[0-9][eE][-+]?[0-9]")))
        << exponent.str();
  }
  // A number the list keeps but no such decimal can write back is refused, with its line.
  for (const char* ele : {"1e25", "1e-25", "-1.2345678901234567e-9"}) {
    WriteText(Path("far.gpx"), std::string(kGpxHead) + "<wpt lat=\"1\" lon=\"2\"><ele>" + ele +
                                   "</ele></wpt></gpx>\n");
    const Outcome far = Run({"download-routes", "--yes", "--list", Path("far.gpx").string()});
    EXPECT_BAD_INPUT(
        far, "line 4: elevation \"" + std::string(ele) + "\" needs more than the 24 digits");
  }
}

}  // namespace
