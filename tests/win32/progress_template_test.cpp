// The progress window's template as compiled into a program: both languages are read with an
// explicit language, so this test is the same in every locale.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/progress_res.h"
#include "platform/win32/windows_support.h"

namespace x9test {
namespace {

constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);

// A name in a template: a string, or 0xFFFF and an ordinal (a predefined class's atom).
struct NameOrOrdinal {
  std::wstring name;
  WORD ordinal = 0;
};

struct ItemTemplate {
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  NameOrOrdinal windowClass, title;
  WORD extraBytes = 0;
};

struct DialogTemplate {
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  NameOrOrdinal menu, windowClass;
  std::wstring title;
  WORD pointSize = 0;
  std::wstring face;
  std::vector<ItemTemplate> items;
};

// Reads a classic (DIALOG, not DIALOGEX) template field by field, never past its end.
class TemplateReader {
 public:
  TemplateReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool ok() const { return ok_; }
  bool AtEnd() const { return offset_ == size_; }

  template <typename T>
  T Read() {
    T value{};
    if (size_ - offset_ < sizeof value) {
      ok_ = false;
      offset_ = size_;
      return value;
    }
    std::memcpy(&value, data_ + offset_, sizeof value);
    offset_ += sizeof value;
    return value;
  }

  std::wstring ReadString() {
    std::wstring text;
    for (wchar_t c = Read<wchar_t>(); ok_ && c != L'\0'; c = Read<wchar_t>())
      text.push_back(c);
    return text;
  }

  NameOrOrdinal ReadNameOrOrdinal() {
    NameOrOrdinal result;
    const wchar_t first = Read<wchar_t>();
    if (first == 0xFFFF) {
      result.ordinal = Read<WORD>();
    } else if (first != L'\0') {
      result.name.push_back(first);
      result.name += ReadString();
    }
    return result;
  }

  void AlignToDword() {
    offset_ = (offset_ + 3) & ~size_t{3};
    if (offset_ > size_) offset_ = size_;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t offset_ = 0;
  bool ok_ = true;
};

std::optional<DialogTemplate> LoadTemplate(WORD language) {
  const HMODULE program = GetModuleHandleW(nullptr);
  const HRSRC found = FindResourceExW(program, RT_DIALOG, MAKEINTRESOURCEW(IDD_PROGRESS), language);
  if (found == nullptr) return std::nullopt;
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(program, found)));
  TemplateReader reader(data, SizeofResource(program, found));

  DialogTemplate dialog;
  dialog.style = reader.Read<DWORD>();
  dialog.exStyle = reader.Read<DWORD>();
  const WORD count = reader.Read<WORD>();
  dialog.x = reader.Read<short>();
  dialog.y = reader.Read<short>();
  dialog.cx = reader.Read<short>();
  dialog.cy = reader.Read<short>();
  dialog.menu = reader.ReadNameOrOrdinal();
  dialog.windowClass = reader.ReadNameOrOrdinal();
  dialog.title = reader.ReadString();
  if ((dialog.style & DS_SETFONT) != 0) {
    dialog.pointSize = reader.Read<WORD>();
    dialog.face = reader.ReadString();
  }
  for (WORD i = 0; i < count && reader.ok(); ++i) {
    reader.AlignToDword();
    ItemTemplate item;
    item.style = reader.Read<DWORD>();
    item.exStyle = reader.Read<DWORD>();
    item.x = reader.Read<short>();
    item.y = reader.Read<short>();
    item.cx = reader.Read<short>();
    item.cy = reader.Read<short>();
    item.id = reader.Read<WORD>();
    item.windowClass = reader.ReadNameOrOrdinal();
    item.title = reader.ReadNameOrOrdinal();
    item.extraBytes = reader.Read<WORD>();
    dialog.items.push_back(item);
  }
  if (!reader.ok()) return std::nullopt;
  return dialog;
}

struct ExpectedTexts {
  const wchar_t* face;
  const wchar_t* caption;
  const wchar_t* message;
  const wchar_t* abort;
};

void ExpectTemplate(const DialogTemplate& dialog, const ExpectedTexts& texts) {
  // WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_SETFONT: no system menu.
  EXPECT_EQ(dialog.style, 0x90C000C0u);
  EXPECT_EQ(dialog.style & WS_SYSMENU, 0u);
  EXPECT_EQ(dialog.exStyle, 0u);
  EXPECT_EQ(dialog.x, 0);
  EXPECT_EQ(dialog.y, 0);
  EXPECT_EQ(dialog.cx, 175);
  EXPECT_EQ(dialog.cy, 61);
  EXPECT_TRUE(dialog.menu.name.empty());
  EXPECT_EQ(dialog.menu.ordinal, 0);
  EXPECT_TRUE(dialog.windowClass.name.empty());
  EXPECT_EQ(dialog.windowClass.ordinal, 0);
  EXPECT_EQ(dialog.title, texts.caption);
  EXPECT_EQ(dialog.pointSize, 9);
  EXPECT_EQ(dialog.face, texts.face);

  ASSERT_EQ(dialog.items.size(), 4u);
  const ItemTemplate& bar = dialog.items[0];
  EXPECT_EQ(bar.id, IDC_PROGRESS);
  // windres writes a class name in capitals; class names are compared without case.
  EXPECT_EQ(_wcsicmp(bar.windowClass.name.c_str(), L"msctls_progress32"), 0)
      << "class " << bar.windowClass.name.size() << " characters";
  EXPECT_EQ(bar.style, 0x50800001u);
  EXPECT_EQ(bar.title.name, L"Progress1");
  EXPECT_EQ((std::vector<short>{bar.x, bar.y, bar.cx, bar.cy}),
            (std::vector<short>{12, 27, 151, 11}));

  const ItemTemplate& message = dialog.items[1];
  EXPECT_EQ(message.id, IDC_MESSAGE);
  EXPECT_EQ(message.windowClass.ordinal, 0x0082);  // Static
  EXPECT_EQ(message.style, 0x50020000u);
  EXPECT_EQ(message.title.name, texts.message);
  EXPECT_EQ((std::vector<short>{message.x, message.y, message.cx, message.cy}),
            (std::vector<short>{11, 7, 152, 17}));

  const ItemTemplate& abort = dialog.items[2];
  EXPECT_EQ(abort.id, IDC_ABORT);
  EXPECT_EQ(abort.windowClass.ordinal, 0x0080);  // Button
  EXPECT_EQ(abort.style, 0x50010000u);
  EXPECT_EQ(abort.title.name, texts.abort);
  EXPECT_EQ((std::vector<short>{abort.x, abort.y, abort.cx, abort.cy}),
            (std::vector<short>{123, 41, 40, 11}));

  const ItemTemplate& detail = dialog.items[3];
  EXPECT_EQ(detail.id, IDC_DETAIL);
  EXPECT_EQ(detail.windowClass.ordinal, 0x0082);  // Static
  EXPECT_EQ(detail.style, 0x50020000u);
  EXPECT_EQ(detail.title.name, L"Static");
  EXPECT_EQ((std::vector<short>{detail.x, detail.y, detail.cx, detail.cy}),
            (std::vector<short>{11, 43, 106, 8}));

  for (const ItemTemplate& item : dialog.items) {
    EXPECT_EQ(item.exStyle, 0u) << "control " << item.id;
    EXPECT_EQ(item.extraBytes, 0) << "control " << item.id;
  }
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR context) {
  reinterpret_cast<std::vector<WORD>*>(context)->push_back(language);
  return TRUE;
}

TEST(ProgressTemplate, ExistsInEnglishAndJapaneseOnly) {
  std::vector<WORD> languages;
  EnumResourceLanguagesW(GetModuleHandleW(nullptr), RT_DIALOG, MAKEINTRESOURCEW(IDD_PROGRESS),
                         CollectLanguage, reinterpret_cast<LONG_PTR>(&languages));
  EXPECT_EQ(languages, (std::vector<WORD>{kEnglish, kJapanese}));
}

TEST(ProgressTemplate, EnglishTemplate) {
  const std::optional<DialogTemplate> dialog = LoadTemplate(kEnglish);
  ASSERT_TRUE(dialog.has_value());
  ExpectTemplate(*dialog, {L"MS Sans Serif", L"", L"", L"Abort"});
}

TEST(ProgressTemplate, JapaneseTemplate) {
  const std::optional<DialogTemplate> dialog = LoadTemplate(kJapanese);
  ASSERT_TRUE(dialog.has_value());
  // Full-width Ｍ, Ｓ and Ｐ with an ordinary space between them.
  ExpectTemplate(*dialog, {L"ＭＳ Ｐゴシック", L"準備中", L"地名データを読み込み中...", L"中止"});
  EXPECT_EQ(dialog->face,
            (std::wstring{0xFF2D, 0xFF33, 0x0020, 0xFF30, 0x30B4, 0x30B7, 0x30C3, 0x30AF}));
}

}  // namespace
}  // namespace x9test
