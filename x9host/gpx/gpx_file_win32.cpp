// A GPX file read in pieces, Windows half: ReadFile on a handle opened by its UTF-16 name.
#include <memory>
#include <string>
#include <utility>

#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/windows_support.h"

namespace x9host {
namespace {

using x9::platform::win32::SystemMessage;

class FileBytes final : public ByteSource {
 public:
  FileBytes(x9::platform::win32::ScopedFile file, const std::string& path)
      : file_(std::move(file)), path_(path) {}

  std::string_view Next() override {
    DWORD n = 0;
    if (!::ReadFile(file_.Get(), buffer_.get(), kPiece, &n, nullptr)) {
      throw InputError(msg::FileUnreadable(
          path_, SystemMessage(GetLastError(), x9::platform::win32::WideFromUtf8(path_))));
    }
    return std::string_view(buffer_.get(), n);
  }

 private:
  static constexpr DWORD kPiece = 65536;
  x9::platform::win32::ScopedFile file_;
  std::string path_;
  std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kPiece);
};

}  // namespace

std::unique_ptr<ByteSource> OpenGpxFile(const std::string& path) {
  const std::wstring wide = x9::platform::win32::WideFromUtf8(path);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw InputError(msg::GpxFileIsDirectory(path));
  }
  x9::platform::win32::ScopedFile file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                                   nullptr));
  if (!file) throw InputError(msg::FileUnreadable(path, SystemMessage(GetLastError(), wide)));
  return std::make_unique<FileBytes>(std::move(file), path);
}

}  // namespace x9host
