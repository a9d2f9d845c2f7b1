// Parser for the subset of resource-script syntax that the module's script
// uses: numbered DIALOG templates with STYLE, CAPTION and FONT, the control
// statements of the plug-in's dialogs and CONTROL, a BITMAP file resource,
// preprocessor lines (skipped), // comments, style expressions with | and
// NOT. Anything else is an error naming its line. The same script is compiled
// by the resource compiler for the DLL, so it is the one source of the dialog
// templates on both builds.
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

// Style constants of the module's script, with their Win32 values.
constexpr NamedValue STYLE_CONSTANTS[] = {
    {"WS_POPUP", WS_POPUP},
    {"WS_CHILD", WS_CHILD},
    {"WS_VISIBLE", WS_VISIBLE},
    {"WS_DISABLED", WS_DISABLED},
    {"WS_CAPTION", WS_CAPTION},
    {"WS_BORDER", WS_BORDER},
    {"WS_SYSMENU", WS_SYSMENU},
    {"WS_GROUP", WS_GROUP},
    {"WS_TABSTOP", WS_TABSTOP},
    {"DS_MODALFRAME", DS_MODALFRAME},
    {"DS_SETFONT", DS_SETFONT},
    {"SS_LEFT", SS_LEFT},
    {"SS_CENTER", SS_CENTER},
    {"SS_RIGHT", SS_RIGHT},
    {"SS_BLACKFRAME", SS_BLACKFRAME},
    {"SS_ETCHEDFRAME", SS_ETCHEDFRAME},
    {"SS_CENTERIMAGE", SS_CENTERIMAGE},
    {"SS_SUNKEN", SS_SUNKEN},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON},
    {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
    {"BS_GROUPBOX", BS_GROUPBOX},
    {"BS_FLAT", BS_FLAT},
    {"ES_LEFT", ES_LEFT},
    {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
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
    {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP, true},
    {"GROUPBOX", "Button", BS_GROUPBOX, true},
    {"LTEXT", "Static", SS_LEFT | WS_GROUP, true},
    {"CTEXT", "Static", SS_CENTER | WS_GROUP, true},
    {"RTEXT", "Static", SS_RIGHT | WS_GROUP, true},
    {"EDITTEXT", "Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, false},
};

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
    } else if ((c >= '0' && c <= '9') ||
               (c == '-' && pos_ + 1 < text_.size() && text_[pos_ + 1] >= '0' && text_[pos_ + 1] <= '9')) {
      ReadNumber();
    } else if (IsIdentifierChar(c)) {
      const size_t start = pos_;
      while (pos_ < text_.size() && IsIdentifierChar(text_[pos_])) ++pos_;
      token_.kind = Token::Identifier;
      token_.text = std::string(text_.substr(start, pos_ - start));
    } else if (c == ',' || c == '|') {
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
    unsigned long magnitude = 0;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
      magnitude = magnitude * 10 + static_cast<unsigned long>(text_[pos_] - '0');
      if (magnitude > 0xFFFFFFFFul) return Fail(line_, "number too large");
      ++pos_;
    }
    if (pos_ == start) return Fail(line_, "malformed number");
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
      if (c == '"') break;
      // Doubled quotes and escapes mean something to the resource compiler;
      // the module's texts need neither.
      if (c == '\\') return Fail(line_, "escapes in texts are not supported");
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
      case Token::End:
        return "end of script";
      case Token::Number:
        return "number " + std::to_string(token_.value);
      case Token::String:
        return "text \"" + token_.text + "\"";
      default:
        return "'" + token_.text + "'";
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
    const bool numbered = token_.kind == Token::Number;
    if (numbered) {
      dialog.id = static_cast<int>(token_.value);
    } else if (token_.kind != Token::Identifier) {
      return Fail(line, "expected a resource name but found " + Describe());
    }
    Advance();
    if (token_.kind != Token::Identifier)
      return Fail(token_.line, "expected a resource type but found " + Describe());
    const std::string type = token_.text;
    Advance();
    if (SameTextIgnoringCase(type, "BITMAP")) {
      ExpectString("a file name");
      return;
    }
    if (!SameTextIgnoringCase(type, "DIALOG")) return Fail(line, "unsupported resource type '" + type + "'");
    if (!numbered) return Fail(line, "a dialog needs a number as its name");
    ParseDialog(dialog);
    if (!ok_) return;
    for (const DialogTemplateData& other : script.dialogs) {
      if (other.id == dialog.id) return Fail(line, "dialog " + std::to_string(dialog.id) + " declared twice");
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
    while (ok_ && !IsKeyword("BEGIN")) {
      if (IsKeyword("STYLE")) {
        Advance();
        dialog.style = StyleExpression(0);
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
    Advance();  // BEGIN
    while (ok_ && !IsKeyword("END")) {
      if (token_.kind == Token::End) return Fail(token_.line, "dialog not closed by END");
      ParseControl(dialog);
    }
    if (ok_) Advance();  // END
  }

  void ParseControl(DialogTemplateData& dialog) {
    if (token_.kind != Token::Identifier)
      return Fail(token_.line, "expected a control but found " + Describe());
    ControlTemplate control;
    const int line = token_.line;
    const std::string keyword = token_.text;
    if (SameTextIgnoringCase(keyword, "CONTROL")) {
      Advance();
      control.kind = "CONTROL";
      control.text = ExpectString("the control text");
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
      // A given style replaces the statement's WS_GROUP, as windres does.
      if (AcceptComma()) control.style = StyleExpression(control.style & ~static_cast<uint32_t>(WS_GROUP));
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
      script = new ResourceScript(ParseResourceScript(std::string_view(
          reinterpret_cast<const char*>(kEmbeddedResourceScript), kEmbeddedResourceScriptLength)));
      if (!script->error.empty()) script->error = "ui/roomstat.rc, " + script->error;
    }
    if (!script->error.empty()) std::fprintf(stderr, "headless dialogs: %s\n", script->error.c_str());
  });
  return *script;
}

}  // namespace headless::detail
