#include "session/glossary.h"

#include <array>

#include "codec/codepage.h"

namespace x9host {
namespace {

constexpr size_t kEntries = x9::kMessageCount + 1;

// By id; kept in step with the catalogue's order (a test checks each one is there).
constexpr std::array<const char*, kEntries> kEnglish = {
    "The transfer is complete.",
    "Downloading waypoints...",
    "Downloading routes...",
    "Downloading tracks...",
    "Uploading waypoints...",
    "Uploading routes...",
    "Uploading tracks...",
    "There are more waypoints to upload than the GPS can hold.",
    "The track to upload has more points than the GPS can hold.",
    "There are more routes to upload than the GPS can hold.",
    "A route to upload has more waypoints than the GPS can hold.",
    "The GPS's waypoints or routes are full. Delete data on it to upload new data.",
    "This function cannot be used with this GPS.",
    "Deleting all waypoints...",
    "Delete all the waypoints on the GPS before uploading?",
    "Really delete all the waypoints on the GPS?",
    "A required DLL was not found.",
    "No SUUNTO product to connect to was found. Check the connection.",
    "The connection to the SUUNTO product was lost, or an error occurred. Check the connection. "
    "Very often the contact between the watch, its cradle and the PC is poor.",
    "Not enough memory.",
    "A route of the same name is on the GPS. Delete the GPS's route before uploading?",
    "Start downloading the waypoints (MyPoints)?",
    "Start downloading the routes?",
    "Start downloading the tracks?",
    "Start uploading the routes?",
    "This route cannot be uploaded. Press OK to skip it.",
    "This function is not implemented yet. It is planned for a later version.",
    "SUUNTO plug-in: the map application is too old for this plug-in.",
};

const std::array<std::string, kEntries>& Texts() {
  static const std::array<std::string, kEntries> texts = [] {
    std::array<std::string, kEntries> out;
    for (x9::MessageId id = 0; id < x9::kMessageCount; ++id)
      out[id] = Utf8FromCp932(x9::MessageText(id));
    out[kTooOldHostMessage] = Utf8FromCp932(x9::kTooOldHostText);
    return out;
  }();
  return texts;
}

}  // namespace

const std::string& CatalogueText(x9::MessageId id) { return Texts().at(id); }

std::optional<x9::MessageId> MessageOf(std::string_view shown) {
  for (x9::MessageId id = 0; id < kEntries; ++id) {
    if (shown == Texts()[id]) return id;
  }
  for (const x9::MessageId id : {x9::kMsgSameNameOnWatch, x9::kMsgCannotUploadMyPoints}) {
    const std::string& text = Texts()[id];
    if (shown.size() > text.size() && shown.substr(0, text.size()) == text &&
        shown[text.size()] == '\n') {
      return id;
    }
  }
  return std::nullopt;
}

const char* EnglishText(x9::MessageId id) { return id < kEntries ? kEnglish[id] : ""; }

}  // namespace x9host
