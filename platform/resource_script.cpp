// Parser for the subset of resource-script syntax that the module's script
// uses: DIALOG templates with STYLE, EXSTYLE, CAPTION and FONT, the common
// control statements and CONTROL, single-line file resources (BITMAP, ICON,
// CURSOR), preprocessor lines (skipped), comments, style expressions with |
// and NOT. The same script is compiled by the resource compiler for the DLL,
// so it is the one source of the dialog templates on both builds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/internal.h"

namespace headless::detail {

namespace {

struct NamedValue {
  const char* name;
  uint32_t value;
};

// Style constants with their Win32 values.
constexpr NamedValue STYLE_CONSTANTS[] = {
    {"WS_OVERLAPPED", WS_OVERLAPPED}, {"WS_POPUP", WS_POPUP}, {"WS_CHILD", WS_CHILD},
    {"WS_MINIMIZE", WS_MINIMIZE}, {"WS_VISIBLE", WS_VISIBLE}, {"WS_DISABLED", WS_DISABLED},
    {"WS_CLIPSIBLINGS", WS_CLIPSIBLINGS}, {"WS_CLIPCHILDREN", WS_CLIPCHILDREN}, {"WS_MAXIMIZE", WS_MAXIMIZE},
    {"WS_CAPTION", WS_CAPTION}, {"WS_BORDER", WS_BORDER}, {"WS_DLGFRAME", WS_DLGFRAME},
    {"WS_VSCROLL", WS_VSCROLL}, {"WS_HSCROLL", WS_HSCROLL}, {"WS_SYSMENU", WS_SYSMENU},
    {"WS_THICKFRAME", WS_THICKFRAME}, {"WS_GROUP", WS_GROUP}, {"WS_TABSTOP", WS_TABSTOP},
    {"WS_MINIMIZEBOX", WS_MINIMIZEBOX}, {"WS_MAXIMIZEBOX", WS_MAXIMIZEBOX},
    {"WS_EX_DLGMODALFRAME", WS_EX_DLGMODALFRAME}, {"WS_EX_TRANSPARENT", WS_EX_TRANSPARENT},
    {"WS_EX_CLIENTEDGE", WS_EX_CLIENTEDGE}, {"WS_EX_STATICEDGE", WS_EX_STATICEDGE},
    {"DS_ABSALIGN", DS_ABSALIGN}, {"DS_SYSMODAL", DS_SYSMODAL}, {"DS_3DLOOK", DS_3DLOOK},
    {"DS_FIXEDSYS", DS_FIXEDSYS}, {"DS_NOFAILCREATE", DS_NOFAILCREATE}, {"DS_LOCALEDIT", DS_LOCALEDIT},
    {"DS_SETFONT", DS_SETFONT}, {"DS_MODALFRAME", DS_MODALFRAME}, {"DS_NOIDLEMSG", DS_NOIDLEMSG},
    {"DS_SETFOREGROUND", DS_SETFOREGROUND}, {"DS_CONTROL", DS_CONTROL}, {"DS_CENTER", DS_CENTER},
    {"DS_CENTERMOUSE", DS_CENTERMOUSE}, {"DS_CONTEXTHELP", DS_CONTEXTHELP},
    {"SS_LEFT", SS_LEFT}, {"SS_CENTER", SS_CENTER}, {"SS_RIGHT", SS_RIGHT}, {"SS_ICON", SS_ICON},
    {"SS_BLACKRECT", SS_BLACKRECT}, {"SS_GRAYRECT", SS_GRAYRECT}, {"SS_WHITERECT", SS_WHITERECT},
    {"SS_BLACKFRAME", SS_BLACKFRAME}, {"SS_GRAYFRAME", SS_GRAYFRAME}, {"SS_WHITEFRAME", SS_WHITEFRAME},
    {"SS_SIMPLE", SS_SIMPLE}, {"SS_LEFTNOWORDWRAP", SS_LEFTNOWORDWRAP}, {"SS_BITMAP", SS_BITMAP},
    {"SS_ETCHEDHORZ", SS_ETCHEDHORZ}, {"SS_ETCHEDVERT", SS_ETCHEDVERT}, {"SS_ETCHEDFRAME", SS_ETCHEDFRAME},
    {"SS_NOPREFIX", SS_NOPREFIX}, {"SS_NOTIFY", SS_NOTIFY}, {"SS_CENTERIMAGE", SS_CENTERIMAGE},
    {"SS_RIGHTJUST", SS_RIGHTJUST}, {"SS_SUNKEN", SS_SUNKEN},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON}, {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON}, {"BS_CHECKBOX", BS_CHECKBOX},
    {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX}, {"BS_RADIOBUTTON", BS_RADIOBUTTON}, {"BS_3STATE", BS_3STATE},
    {"BS_AUTO3STATE", BS_AUTO3STATE}, {"BS_GROUPBOX", BS_GROUPBOX}, {"BS_AUTORADIOBUTTON", BS_AUTORADIOBUTTON},
    {"BS_OWNERDRAW", BS_OWNERDRAW}, {"BS_LEFTTEXT", BS_LEFTTEXT}, {"BS_TEXT", BS_TEXT}, {"BS_LEFT", BS_LEFT},
    {"BS_RIGHT", BS_RIGHT}, {"BS_CENTER", BS_CENTER}, {"BS_TOP", BS_TOP}, {"BS_BOTTOM", BS_BOTTOM},
    {"BS_VCENTER", BS_VCENTER}, {"BS_PUSHLIKE", BS_PUSHLIKE}, {"BS_MULTILINE", BS_MULTILINE},
    {"BS_NOTIFY", BS_NOTIFY}, {"BS_FLAT", BS_FLAT},
    {"ES_LEFT", ES_LEFT}, {"ES_CENTER", ES_CENTER}, {"ES_RIGHT", ES_RIGHT}, {"ES_MULTILINE", ES_MULTILINE},
    {"ES_UPPERCASE", ES_UPPERCASE}, {"ES_LOWERCASE", ES_LOWERCASE}, {"ES_PASSWORD", ES_PASSWORD},
    {"ES_AUTOVSCROLL", ES_AUTOVSCROLL}, {"ES_AUTOHSCROLL", ES_AUTOHSCROLL}, {"ES_NOHIDESEL", ES_NOHIDESEL},
    {"ES_OEMCONVERT", ES_OEMCONVERT}, {"ES_READONLY", ES_READONLY}, {"ES_WANTRETURN", ES_WANTRETURN},
    {"ES_NUMBER", ES_NUMBER},
};

// Control statements: keyword, window class, default style (WS_CHILD and
// WS_VISIBLE are added to all), and whether the statement starts with a text.
struct ControlKind {
  const char* keyword;
  const char* windowClass;
  uint32_t defaultStyle;
  bool hasText;
};
constexpr ControlKind CONTROL_KINDS[] = {
    {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP, true},
    {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, true},
    {"CHECKBOX", "Button", BS_CHECKBOX | WS_TABSTOP, true},
    {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP, true},
    {"RADIOBUTTON", "Button", BS_RADIOBUTTON, true},
    {"AUTORADIOBUTTON", "Button", BS_AUTORADIOBUTTON, true},
    {"STATE3", "Button", BS_3STATE | WS_TABSTOP, true},
    {"AUTO3STATE", "Button", BS_AUTO3STATE | WS_TABSTOP, true},
    {"GROUPBOX", "Button", BS_GROUPBOX, true},
    {"LTEXT", "Static", SS_LEFT | WS_GROUP, true},
    {"CTEXT", "Static", SS_CENTER | WS_GROUP, true},
    {"RTEXT", "Static", SS_RIGHT | WS_GROUP, true},
    {"EDITTEXT", "Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false},
    {"LISTBOX", "ListBox", WS_BORDER | 0x0001u /* LBS_NOTIFY */, false},
    {"COMBOBOX", "ComboBox", WS_TABSTOP | 0x0001u /* CBS_SIMPLE */, false},
};

// Memory flags that may follow a resource type; they mean nothing here.
constexpr const char* MEMORY_FLAGS[] = {"DISCARDABLE", "MOVEABLE", "FIXED", "PURE", "IMPURE", "PRELOAD",
                                        "LOADONCALL", "SHARED", "NONSHARED"};

// Single-line resources naming a file.
constexpr const char* FILE_RESOURCES[] = {"BITMAP", "ICON", "CURSOR"};

struct Token {
  enum Kind { End, Number, String, Identifier, Punctuation } kind = End;
  std::string text;  // identifier (as written), string contents, punctuation character
  long value = 0;    // numbers
  int line = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) { Advance(); }

  ResourceScript Run() {
    ResourceScript script;
    while (ok_ && token_.kind != Token::End) ParseResource(script);
    if (!ok_) {
      script.dialogs.clear();
      script.error = error_;
    }
    return script;
  }

 private:
  // --- Tokens ---
  void SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '\n') {
        ++line_;
        ++pos_;
        atLineStart_ = true;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++pos_;
      } else if (c == '#' && atLineStart_) {
        // Preprocessor line (#include <windows.h>): the resource compiler
        // needs it, the meaning here is built in. Skip to the end of line.
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (text_.substr(pos_, 2) == "//") {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
      } else if (text_.substr(pos_, 2) == "/*") {
        const size_t end = text_.find("*/", pos_ + 2);
        const size_t stop = end == std::string_view::npos ? text_.size() : end + 2;
        for (size_t i = pos_; i < stop; ++i) line_ += text_[i] == '\n' ? 1 : 0;
        if (end == std::string_view::npos) Fail(line_, "comment not closed");
        pos_ = stop;
      } else {
        return;
      }
    }
  }

  static bool IsIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  }

  void Advance() {
    SkipSpaceAndComments();
    token_ = Token();
    token_.line = line_;
    if (!ok_ || pos_ >= text_.size()) return;
    atLineStart_ = false;
    const char c = text_[pos_];
    if (c == '"') {
      ReadString();
    } else if ((c >= '0' && c <= '9') || (c == '-' && pos_ + 1 < text_.size() && text_[pos_ + 1] >= '0' &&
                                          text_[pos_ + 1] <= '9')) {
      ReadNumber();
    } else if (IsIdentifierChar(c)) {
      const size_t start = pos_;
      while (pos_ < text_.size() && IsIdentifierChar(text_[pos_])) ++pos_;
      token_.kind = Token::Identifier;
      token_.text = std::string(text_.substr(start, pos_ - start));
    } else if (c == ',' || c == '|' || c == '{' || c == '}') {
      token_.kind = Token::Punctuation;
      token_.text = std::string(1, c);
      ++pos_;
    } else {
      Fail(line_, std::string("unexpected character '") + c + "'");
    }
  }

  void ReadNumber() {
    const bool negative = text_[pos_] == '-';
    if (negative) ++pos_;
    const size_t start = pos_;
    int base = 10;
    if (text_.substr(pos_, 2) == "0x" || text_.substr(pos_, 2) == "0X") {
      base = 16;
      pos_ += 2;
    }
    unsigned long magnitude = 0;
    const size_t digitsStart = pos_;
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (base == 16 && c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (base == 16 && c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        break;
      }
      magnitude = magnitude * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
      if (magnitude > 0xFFFFFFFFul) return Fail(line_, "number too large");
      ++pos_;
    }
    if (pos_ == digitsStart) return Fail(line_, "malformed number");
    if (pos_ < text_.size() && (text_[pos_] == 'L' || text_[pos_] == 'l')) ++pos_;  // 100L
    if (pos_ < text_.size() && IsIdentifierChar(text_[pos_]))
      return Fail(line_, "malformed number '" + std::string(text_.substr(start, pos_ + 1 - start)) + "'");
    token_.kind = Token::Number;
    token_.value = negative ? -static_cast<long>(magnitude) : static_cast<long>(magnitude);
  }

  void ReadString() {
    ++pos_;
    std::string value;
    while (true) {
      if (pos_ >= text_.size() || text_[pos_] == '\n') return Fail(line_, "text not closed by '\"'");
      const char c = text_[pos_++];
      if (c == '"') {
        if (pos_ < text_.size() && text_[pos_] == '"') {  // "" stands for one quote
          value += '"';
          ++pos_;
          continue;
        }
        break;
      }
      if (c == '\\' && pos_ < text_.size()) {
        const char e = text_[pos_++];
        switch (e) {
          case 'n': value += '\n'; break;
          case 't': value += '\t'; break;
          case 'r': value += '\r'; break;
          case 'a': value += '\a'; break;
          case '\\': value += '\\'; break;
          case '"': value += '"'; break;
          default: return Fail(line_, std::string("unknown escape '\\") + e + "' in text");
        }
        continue;
      }
      value += c;
    }
    token_.kind = Token::String;
    token_.text = value;
  }

  // --- Grammar helpers ---
  void Fail(int line, const std::string& message) {
    if (!ok_) return;
    ok_ = false;
    error_ = "line " + std::to_string(line) + ": " + message;
    token_ = Token();
  }

  bool IsKeyword(const char* keyword) const {
    return token_.kind == Token::Identifier && SameTextIgnoringCase(token_.text, keyword);
  }
  bool IsPunctuation(char c) const { return token_.kind == Token::Punctuation && token_.text[0] == c; }

  std::string Describe() const {
    switch (token_.kind) {
      case Token::End: return "end of script";
      case Token::Number: return "number " + std::to_string(token_.value);
      case Token::String: return "text \"" + token_.text + "\"";
      default: return "'" + token_.text + "'";
    }
  }

  void ExpectComma() {
    if (!ok_) return;
    if (!IsPunctuation(',')) return Fail(token_.line, "expected ',' but found " + Describe());
    Advance();
  }
  bool AcceptComma() {
    if (!ok_ || !IsPunctuation(',')) return false;
    Advance();
    return true;
  }

  int ExpectNumber(const char* what) {
    if (!ok_) return 0;
    if (token_.kind != Token::Number)
      return Fail(token_.line, std::string("expected ") + what + " but found " + Describe()), 0;
    const long value = token_.value;
    Advance();
    return static_cast<int>(value);
  }

  std::string ExpectString(const char* what) {
    if (!ok_) return std::string();
    if (token_.kind != Token::String)
      return Fail(token_.line, std::string("expected ") + what + " but found " + Describe()), std::string();
    std::string value = token_.text;
    Advance();
    return value;
  }

  // One term of a style expression: a number or a named constant.
  uint32_t StyleTerm() {
    if (token_.kind == Token::Number) {
      const uint32_t value = static_cast<uint32_t>(token_.value);
      Advance();
      return value;
    }
    if (token_.kind == Token::Identifier) {
      for (const NamedValue& constant : STYLE_CONSTANTS) {
        if (SameTextIgnoringCase(token_.text, constant.name)) {
          Advance();
          return constant.value;
        }
      }
      Fail(token_.line, "unknown style constant '" + token_.text + "'");
      return 0;
    }
    Fail(token_.line, "expected a style but found " + Describe());
    return 0;
  }

  // Style expression: terms joined by |, each possibly preceded by NOT,
  // applied in order to `style`.
  uint32_t StyleExpression(uint32_t style) {
    do {
      const bool remove = IsKeyword("NOT");
      if (remove) Advance();
      const uint32_t bits = StyleTerm();
      style = remove ? (style & ~bits) : (style | bits);
      if (!ok_ || !IsPunctuation('|')) break;
      Advance();
    } while (ok_);
    return style;
  }

  // --- Resources ---
  void ParseResource(ResourceScript& script) {
    const int line = token_.line;
    DialogTemplateData dialog;
    if (token_.kind == Token::Number) {
      dialog.id = static_cast<int>(token_.value);
    } else if (token_.kind == Token::Identifier) {
      for (char c : token_.text) dialog.name += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    } else {
      return Fail(line, "expected a resource name but found " + Describe());
    }
    Advance();
    if (token_.kind != Token::Identifier) return Fail(token_.line, "expected a resource type but found " + Describe());
    const std::string type = token_.text;
    Advance();
    while (ok_ && token_.kind == Token::Identifier) {
      bool isFlag = false;
      for (const char* flag : MEMORY_FLAGS) isFlag = isFlag || SameTextIgnoringCase(token_.text, flag);
      if (!isFlag) break;
      Advance();
    }
    for (const char* fileType : FILE_RESOURCES) {
      if (SameTextIgnoringCase(type, fileType)) {
        ExpectString("a file name");
        return;
      }
    }
    if (!SameTextIgnoringCase(type, "DIALOG")) return Fail(line, "unsupported resource type '" + type + "'");
    ParseDialog(dialog);
    if (!ok_) return;
    for (const DialogTemplateData& other : script.dialogs) {
      if (other.id == dialog.id && other.name == dialog.name)
        return Fail(line, "dialog " + (dialog.name.empty() ? std::to_string(dialog.id) : dialog.name) +
                              " declared twice");
    }
    script.dialogs.push_back(std::move(dialog));
  }

  void ParseDialog(DialogTemplateData& dialog) {
    dialog.x = ExpectNumber("the dialog's x");
    ExpectComma();
    dialog.y = ExpectNumber("the dialog's y");
    ExpectComma();
    dialog.width = ExpectNumber("the dialog's width");
    ExpectComma();
    dialog.height = ExpectNumber("the dialog's height");
    // Without a STYLE statement the resource compiler uses these.
    dialog.style = WS_POPUP | WS_BORDER | WS_SYSMENU;
    bool hasCaption = false;
    while (ok_ && !IsKeyword("BEGIN") && !IsPunctuation('{')) {
      if (IsKeyword("STYLE")) {
        Advance();
        dialog.style = StyleExpression(0);
      } else if (IsKeyword("EXSTYLE")) {
        Advance();
        dialog.exStyle = StyleExpression(0);
      } else if (IsKeyword("CAPTION")) {
        Advance();
        dialog.caption = ExpectString("the caption text");
        hasCaption = true;
      } else if (IsKeyword("FONT")) {
        Advance();
        dialog.fontPointSize = ExpectNumber("the font size");
        ExpectComma();
        dialog.fontFace = ExpectString("the font name");
      } else {
        return Fail(token_.line, "unsupported dialog statement " + Describe());
      }
    }
    if (!ok_) return;
    if (hasCaption) dialog.style |= WS_CAPTION;
    if (!dialog.fontFace.empty()) dialog.style |= DS_SETFONT;
    Advance();  // BEGIN or {
    while (ok_ && !IsKeyword("END") && !IsPunctuation('}')) {
      if (token_.kind == Token::End) return Fail(token_.line, "dialog not closed by END");
      ParseControl(dialog);
    }
    if (ok_) Advance();  // END or }
  }

  void ParseControl(DialogTemplateData& dialog) {
    if (token_.kind != Token::Identifier) return Fail(token_.line, "expected a control but found " + Describe());
    ControlTemplate control;
    const int line = token_.line;
    const std::string keyword = token_.text;
    if (SameTextIgnoringCase(keyword, "CONTROL")) {
      Advance();
      control.kind = "CONTROL";
      if (token_.kind == Token::Number) {  // icon or bitmap resource number as text
        control.text = std::to_string(token_.value);
        Advance();
      } else {
        control.text = ExpectString("the control text");
      }
      ExpectComma();
      control.id = ExpectNumber("the control ID");
      ExpectComma();
      if (token_.kind == Token::String || token_.kind == Token::Identifier) {
        control.windowClass = token_.text;
        Advance();
      } else {
        return Fail(token_.line, "expected a window class but found " + Describe());
      }
      ExpectComma();
      control.style = StyleExpression(WS_CHILD | WS_VISIBLE);
      ExpectComma();
      ReadRectangle(control);
      if (AcceptComma()) control.exStyle = StyleExpression(0);
    } else {
      const ControlKind* kind = nullptr;
      for (const ControlKind& candidate : CONTROL_KINDS)
        if (SameTextIgnoringCase(keyword, candidate.keyword)) kind = &candidate;
      if (kind == nullptr) return Fail(line, "unsupported control statement '" + keyword + "'");
      Advance();
      control.kind = kind->keyword;
      control.windowClass = kind->windowClass;
      if (kind->hasText) {
        control.text = ExpectString("the control text");
        ExpectComma();
      }
      control.id = ExpectNumber("the control ID");
      ExpectComma();
      ReadRectangle(control);
      control.style = WS_CHILD | WS_VISIBLE | kind->defaultStyle;
      if (AcceptComma()) {
        // A given style replaces the statement's WS_GROUP, as windres does.
        control.style = StyleExpression(control.style & ~static_cast<uint32_t>(WS_GROUP));
        if (AcceptComma()) control.exStyle = StyleExpression(0);
      }
    }
    if (ok_) dialog.controls.push_back(std::move(control));
  }

  void ReadRectangle(ControlTemplate& control) {
    control.x = ExpectNumber("the control's x");
    ExpectComma();
    control.y = ExpectNumber("the control's y");
    ExpectComma();
    control.width = ExpectNumber("the control's width");
    ExpectComma();
    control.height = ExpectNumber("the control's height");
  }

  std::string_view text_;
  size_t pos_ = 0;
  int line_ = 1;
  bool atLineStart_ = true;
  Token token_;
  bool ok_ = true;
  std::string error_;
};

}  // namespace

ResourceScript ParseResourceScript(std::string_view text) { return Parser(text).Run(); }

const ResourceScript& ModuleResourceScript() {
  static ResourceScript* script = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    if (!kEmbeddedResourceScriptPresent) {
      script = new ResourceScript;
      script->error = "ui/roomstat.rc was missing when the stand-in was built";
    } else {
      script = new ResourceScript(
          ParseResourceScript(std::string_view(reinterpret_cast<const char*>(kEmbeddedResourceScript), kEmbeddedResourceScriptLength)));
      if (!script->error.empty()) script->error = "ui/roomstat.rc, " + script->error;
    }
    if (!script->error.empty()) std::fprintf(stderr, "headless dialogs: %s\n", script->error.c_str());
  });
  return *script;
}

}  // namespace headless::detail
