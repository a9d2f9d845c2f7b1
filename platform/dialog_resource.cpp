// Binary dialog templates as a resource compiler writes them into a module:
// a DLGTEMPLATE header (style, extended style, item count, position and size),
// menu, class and caption, the font when DS_SETFONT is set, then one
// DWORD-aligned DLGITEMTEMPLATE per control with its class (a predefined
// class atom or a name), its text and its creation data. Texts are UTF-16;
// the stand-in keeps ANSI bytes, so code units up to 0xFF become one byte.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/internal.h"

namespace headless::detail {

namespace {

class RecordReader {
 public:
  RecordReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Word(uint16_t* value) {
    if (pos_ + 2 > size_) return Fail("ends inside a field");
    *value = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool Short(int* value) {
    uint16_t word = 0;
    if (!Word(&word)) return false;
    *value = static_cast<int16_t>(word);
    return true;
  }
  bool Dword(uint32_t* value) {
    uint16_t low = 0, high = 0;
    if (!Word(&low) || !Word(&high)) return false;
    *value = low | (static_cast<uint32_t>(high) << 16);
    return true;
  }
  // A zero-terminated UTF-16 text.
  bool Text(std::string* text) {
    text->clear();
    for (uint16_t unit = 0; Word(&unit);) {
      if (unit == 0) return true;
      text->push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    }
    return false;
  }
  // A text or an ordinal (0xFFFF then the number); none when the first word is 0.
  bool TextOrOrdinal(std::string* text, int* ordinal) {
    *ordinal = -1;
    text->clear();
    uint16_t first = 0;
    if (pos_ + 2 > size_) return Fail("ends inside a field");
    first = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    if (first == 0xFFFF) {
      pos_ += 2;
      uint16_t number = 0;
      if (!Word(&number)) return false;
      *ordinal = number;
      return true;
    }
    return Text(text);
  }
  bool Skip(size_t bytes) {
    if (pos_ + bytes > size_) return Fail("ends inside creation data");
    pos_ += bytes;
    return true;
  }
  void AlignToDword() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }
  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = "record " + what + " at byte " + std::to_string(pos_);
    return false;
  }
  const std::string& error() const { return error_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  std::string error_;
};

// Predefined window classes by atom.
const char* ClassOfAtom(int atom) {
  switch (atom) {
    case 0x80:
      return "Button";
    case 0x81:
      return "Edit";
    case 0x82:
      return "Static";
    case 0x83:
      return "ListBox";
    case 0x84:
      return "ScrollBar";
    case 0x85:
      return "ComboBox";
    default:
      return nullptr;
  }
}

// The control statement that yields this class and style.
std::string StatementOf(const ControlTemplate& control) {
  const uint32_t type = control.style & 0x0Fu;
  if (SameTextIgnoringCase(control.windowClass, "Button")) {
    static const char* const BUTTONS[] = {"PUSHBUTTON",  "DEFPUSHBUTTON",  "CHECKBOX",   "AUTOCHECKBOX",
                                          "RADIOBUTTON", "STATE3",         "AUTO3STATE", "GROUPBOX",
                                          nullptr,       "AUTORADIOBUTTON"};
    if (type < sizeof BUTTONS / sizeof BUTTONS[0] && BUTTONS[type] != nullptr) return BUTTONS[type];
  } else if (SameTextIgnoringCase(control.windowClass, "Static")) {
    if (type == SS_LEFT) return "LTEXT";
    if (type == SS_CENTER) return "CTEXT";
    if (type == SS_RIGHT) return "RTEXT";
  } else if (SameTextIgnoringCase(control.windowClass, "Edit")) {
    return "EDITTEXT";
  }
  return "CONTROL";
}

}  // namespace

bool ParseDialogResource(const uint8_t* data, size_t size, DialogTemplateData* dialog, std::string* error) {
  RecordReader in(data, size);
  DialogTemplateData result;
  uint16_t items = 0;
  uint32_t extendedStyle = 0;  // the stand-in draws nothing: extended styles are read and left
  std::string menu, windowClass;
  int menuOrdinal = -1, classOrdinal = -1;
  bool ok = in.Dword(&result.style) && in.Dword(&extendedStyle) && in.Word(&items) && in.Short(&result.x) &&
            in.Short(&result.y) && in.Short(&result.width) && in.Short(&result.height);
  if (ok && (result.style & 0xFFFF0000u) == 0xFFFF0000u) {
    ok = in.Fail("is an extended dialog template, which the module does not use");
  }
  ok = ok && in.TextOrOrdinal(&menu, &menuOrdinal) && in.TextOrOrdinal(&windowClass, &classOrdinal) &&
       in.Text(&result.caption);
  if (ok && (result.style & DS_SETFONT) != 0) {
    uint16_t points = 0;
    ok = in.Word(&points) && in.Text(&result.fontFace);
    result.fontPointSize = points;
  }
  for (uint16_t i = 0; ok && i < items; ++i) {
    in.AlignToDword();
    ControlTemplate control;
    uint16_t id = 0, extra = 0;
    int atom = -1, textOrdinal = -1;
    ok = in.Dword(&control.style) && in.Dword(&extendedStyle) && in.Short(&control.x) &&
         in.Short(&control.y) && in.Short(&control.width) && in.Short(&control.height) && in.Word(&id) &&
         in.TextOrOrdinal(&control.windowClass, &atom) && in.TextOrOrdinal(&control.text, &textOrdinal) &&
         in.Word(&extra) && in.Skip(extra);
    if (!ok) break;
    if (atom >= 0) {
      const char* name = ClassOfAtom(atom);
      if (name == nullptr) {
        ok = in.Fail("names the unknown class atom " + std::to_string(atom));
        break;
      }
      control.windowClass = name;
    }
    if (textOrdinal >= 0) control.text = "#" + std::to_string(textOrdinal);  // icon or bitmap by number
    control.id = static_cast<int16_t>(id);
    control.kind = StatementOf(control);
    result.controls.push_back(std::move(control));
  }
  if (!ok) {
    if (error != nullptr) *error = in.error();
    return false;
  }
  *dialog = std::move(result);
  return true;
}

}  // namespace headless::detail
