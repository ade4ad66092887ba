#include "support/record_expectations.h"

#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

namespace x9test {
namespace {

std::string Text(const char* text) {
  return text == nullptr ? "(null)" : '"' + std::string(text) + '"';
}

// Collects the fields that differ, one line each.
class Differences {
 public:
  Differences() { out_ << std::setprecision(17); }
  template <typename T>
  void Field(const char* name, const T& actual, const T& expected) {
    if (actual == expected) return;
    out_ << "\n  " << name << ": " << +actual << ", expected " << +expected;
  }
  void TextField(const char* name, const char* actual, const char* expected) {
    const bool same = actual == nullptr || expected == nullptr ? actual == expected
                                                               : std::strcmp(actual, expected) == 0;
    if (same) return;
    out_ << "\n  " << name << ": " << Text(actual) << ", expected " << Text(expected);
  }
  template <size_t N>
  void Bytes(const char* name, const uint8_t (&actual)[N], const uint8_t (&expected)[N]) {
    if (std::memcmp(actual, expected, N) == 0) return;
    out_ << "\n  " << name << " differ";
  }
  ::testing::AssertionResult Result() const {
    const std::string text = out_.str();
    if (text.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "fields differ:" << text;
  }

 private:
  std::ostringstream out_;
};

}  // namespace

::testing::AssertionResult SameItem(const tagGPSDBITEM& actual, const tagGPSDBITEM& expected) {
  Differences d;
  d.Field("size", actual.size, expected.size);
  d.TextField("name", actual.name, expected.name);
  d.Field("latitude", actual.latitude, expected.latitude);
  d.Field("longitude", actual.longitude, expected.longitude);
  d.Field("altitude", actual.altitude, expected.altitude);
  d.Field("value32", actual.value32, expected.value32);
  d.Field("value40", actual.value40, expected.value40);
  d.Field("time", actual.time, expected.time);
  d.Field("kind", actual.kind, expected.kind);
  d.Field("datum", actual.datum, expected.datum);
  d.Bytes("reserved54", actual.reserved54, expected.reserved54);
  d.Field("value56", actual.value56, expected.value56);
  d.Field("value60", actual.value60, expected.value60);
  d.TextField("ident", actual.ident, expected.ident);
  d.Field("value68", actual.value68, expected.value68);
  d.Field("value72", actual.value72, expected.value72);
  d.Field("value76", actual.value76, expected.value76);
  d.Bytes("reserved80", actual.reserved80, expected.reserved80);
  d.Field("value92", actual.value92, expected.value92);
  d.Bytes("reserved94", actual.reserved94, expected.reserved94);
  return d.Result();
}

::testing::AssertionResult SameSetHeader(const tagGPSDBHEADER& actual,
                                         const tagGPSDBHEADER& expected) {
  Differences d;
  d.Field("size", actual.size, expected.size);
  d.TextField("name", actual.name, expected.name);
  d.Field("value8", actual.value8, expected.value8);
  d.Field("itemCount", actual.itemCount, expected.itemCount);
  d.Field("value16", actual.value16, expected.value16);
  d.Field("kind", actual.kind, expected.kind);
  d.Bytes("reserved18", actual.reserved18, expected.reserved18);
  d.Field("value20", actual.value20, expected.value20);
  d.Field("value24", actual.value24, expected.value24);
  d.Field("value28", actual.value28, expected.value28);
  return d.Result();
}

}  // namespace x9test
