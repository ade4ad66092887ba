// The only interface between the product and the operating system: the primitives it offers,
// each implemented once for Windows (win32/) and once for POSIX (posix/). Nothing here knows of
// the layers above; nothing else in the product includes a system header.
#pragma once

#include <memory>
#include <string>

namespace x9::platform {

// --- Libraries ---------------------------------------------------------------------------------

// One loaded library, unloaded when its owner goes. Move-only: exactly one owner unloads it.
class Library {
 public:
  Library() = default;
  // Loads by path (code page 932 on Windows, passed to LoadLibraryA as it is). Check with
  // IsLoaded; when why is given, a failure's reason is written there.
  explicit Library(const char* path, std::string* why = nullptr);
  ~Library() { Reset(); }
  Library(Library&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Library& operator=(Library&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool IsLoaded() const { return handle_ != nullptr; }
  // The symbol's address; null when it is missing or nothing is loaded.
  void* Find(const char* name) const;
  // The symbol as a function of type Function.
  template <typename Function>
  Function Find(const char* name) const {
    return reinterpret_cast<Function>(Find(name));
  }
  // Unloads now; the library is then empty.
  void Reset();

 private:
  void* handle_ = nullptr;
};

// The separator JoinPath puts between directory and file name ('\\' on Windows, '/' on POSIX).
char PathSeparator();

// --- Time ----------------------------------------------------------------------------------------

void PauseMilliseconds(unsigned milliseconds);  // blocks; handles no messages

// The runtime library's zone values after tzset: UTC minus local standard time in seconds, and
// whether the zone has a daylight-saving rule.
struct ZoneValues {
  long timezoneSeconds;
  int daylight;
};
ZoneValues ReadZoneValues();

// --- Message boxes and the progress window -----------------------------------------------------

using WindowHandle = void*;

// Shows a code page 932 text in a modal box owned by owner, with the framework's style bits;
// returns the button pressed (both as message_box.h numbers them).
int ShowMessageBox(WindowHandle owner, const char* text, unsigned style);

// The modeless progress window: a message line, a bar from 0 to 100 and an Abort button.
class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;  // destroys the window
  virtual void SetBarPosition(int position) = 0;
};

// Creates the window owned by owner, showing messageText (code page 932); the Abort button is
// hidden unless abortEnabled and sets *abortFlag to 1. Null when no window could be made.
std::unique_ptr<ProgressWindow> CreateProgressWindow(WindowHandle owner, const char* messageText,
                                                     bool abortEnabled, int* abortFlag);

// The module's own instance handle (Windows: from DllMain), so dialog templates can be found.
void SetModuleInstance(void* instance);
void* ModuleInstance();

}  // namespace x9::platform
