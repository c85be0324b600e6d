#include "dialog_builder.h"

#include <cstring>
#include <string>

#include "control_mapping.h"

namespace vqx::win32 {
namespace {

// Appends WORDs; DLGTEMPLATEEX is a sequence of WORD-sized fields with DWORD alignment
// before each item.
class WordWriter {
 public:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Short(short s) { Word(static_cast<WORD>(s)); }
  void Text(const std::wstring& text) {
    for (const wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
  }
  void AlignToDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  size_t Size() const { return words_.size(); }
  void Patch(size_t index, WORD value) { words_[index] = value; }
  std::vector<DWORD> Finish() {
    AlignToDword();
    std::vector<DWORD> out(words_.size() / 2);
    std::memcpy(out.data(), words_.data(), words_.size() * sizeof(WORD));
    return out;
  }

 private:
  std::vector<WORD> words_;
};

class WordReader {
 public:
  explicit WordReader(const std::vector<DWORD>& buffer)
      : words_(reinterpret_cast<const WORD*>(buffer.data())), size_(buffer.size() * 2) {}
  WORD Word() { return at_ < size_ ? words_[at_++] : WORD{0}; }
  DWORD Dword() {
    const DWORD low = Word();
    return low | (DWORD{Word()} << 16);
  }
  short Short() { return static_cast<short>(Word()); }
  std::wstring Text() {
    std::wstring text;
    for (WORD w = Word(); w != 0; w = Word()) text.push_back(static_cast<wchar_t>(w));
    return text;
  }
  // A class or menu field: an ordinal (0xFFFF, value) or a string.
  WORD OrdinalOrSkip() {
    const WORD first = Word();
    if (first == 0xFFFF) return Word();
    if (first != 0) (void)Text();
    return 0;
  }
  void AlignToDword() {
    if (at_ % 2 != 0) ++at_;
  }

 private:
  const WORD* words_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace

std::vector<DWORD> BuildDialogTemplate(const DialogTemplate& dialog, DWORD dialogStyle) {
  WordWriter w;
  w.Word(1);       // dlgVer
  w.Word(0xFFFF);  // signature: extended template
  w.Dword(0);      // helpID
  w.Dword(0);      // exStyle
  w.Dword(dialogStyle | DS_SETFONT);  // not DS_SHELLFONT, which swaps the font for "MS Shell Dlg"
  w.Word(static_cast<WORD>(dialog.controls.size()));
  w.Short(0);
  w.Short(0);
  w.Short(static_cast<short>(dialog.width));
  w.Short(static_cast<short>(dialog.height));
  w.Word(0);  // no menu: the program builds it from the menu template
  w.Word(0);  // the predefined dialog class
  w.Text(WidenLatin1(dialog.caption));
  w.Word(static_cast<WORD>(dialog.fontPointSize));
  w.Word(FW_NORMAL);
  w.Word(MAKEWORD(FALSE, DEFAULT_CHARSET));  // italic, charset
  w.Text(WidenLatin1(dialog.fontName));

  for (const ControlTemplate& c : dialog.controls) {
    const Win32ControlStyle mapped = MapControl(c);
    w.AlignToDword();
    w.Dword(0);  // helpID
    w.Dword(mapped.exStyle);
    w.Dword(mapped.style);
    w.Short(static_cast<short>(c.x));
    w.Short(static_cast<short>(c.y));
    w.Short(static_cast<short>(c.width));
    w.Short(static_cast<short>(c.height));
    w.Dword(static_cast<DWORD>(c.id));
    w.Word(0xFFFF);
    w.Word(mapped.classAtom);
    w.Text(WidenLatin1(c.text));
    w.Word(0);  // no creation data
  }
  return w.Finish();
}

ParsedDialog ParseDialogTemplate(const std::vector<DWORD>& buffer) {
  WordReader r(buffer);
  ParsedDialog d{};
  (void)r.Word();   // dlgVer
  (void)r.Word();   // signature
  (void)r.Dword();  // helpID
  (void)r.Dword();  // exStyle
  d.style = r.Dword();
  const WORD count = r.Word();
  (void)r.Short();
  (void)r.Short();
  d.cx = r.Short();
  d.cy = r.Short();
  (void)r.OrdinalOrSkip();  // menu
  (void)r.OrdinalOrSkip();  // class
  d.caption = r.Text();
  if ((d.style & DS_SETFONT) != 0) {
    d.pointSize = r.Word();
    (void)r.Word();  // weight
    (void)r.Word();  // italic, charset
    d.fontName = r.Text();
  }
  for (WORD i = 0; i < count; ++i) {
    r.AlignToDword();
    ParsedItem item{};
    (void)r.Dword();  // helpID
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = r.Short();
    item.y = r.Short();
    item.cx = r.Short();
    item.cy = r.Short();
    item.id = r.Dword();
    item.classAtom = r.OrdinalOrSkip();
    item.title = r.Text();
    const WORD extra = r.Word();
    for (WORD b = 0; b < (extra + 1) / 2; ++b) (void)r.Word();
    d.items.push_back(std::move(item));
  }
  return d;
}

}  // namespace vqx::win32
