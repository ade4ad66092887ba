// A GPX file read in pieces, POSIX half: stdio.
#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "gpx/xml_reader.h"
#include "os/input_error.h"
#include "os/messages.h"

namespace x9host {
namespace {

class FileBytes final : public ByteSource {
 public:
  FileBytes(std::FILE* file, const std::string& path) : file_(file), path_(path) {}
  ~FileBytes() { std::fclose(file_); }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  std::string_view Next() override {
    const size_t n = std::fread(buffer_.get(), 1, kPiece, file_);
    // The read's own error (EIO, EISDIR) in the system's words, as the Windows build gives it.
    if (n < kPiece && std::ferror(file_) != 0)
      throw InputError(msg::FileUnreadable(path_, os::ErrorText(errno)));
    return std::string_view(buffer_.get(), n);
  }

 private:
  static constexpr size_t kPiece = 65536;
  std::FILE* file_;
  std::string path_;
  std::unique_ptr<char[]> buffer_ = std::make_unique<char[]>(kPiece);
};

}  // namespace

std::unique_ptr<ByteSource> OpenGpxFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    throw InputError(msg::GpxFileIsDirectory(path));
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) throw InputError(msg::FileUnreadable(path, os::ErrorText(errno)));
  return std::make_unique<FileBytes>(file, path);
}

}  // namespace x9host
