// Opening the plug-in's dialogs in tests as the plug-in itself does (the
// procedure by ordinal from the module, the template by number), with a
// scripted person who acts once each time a dialog waits for input.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "interface/xfm_types.h"
#include "platform/headless.h"

// Acts by the next step whenever the dialog waits; once the steps run out
// it does nothing, and the stand-in closes the window with its close box.
struct ScriptedPerson : headless::RecordingObserver {
  std::vector<std::function<void(HWND)>> steps;
  size_t idleCalls = 0;
  void OnDialogIdle(HWND dialog) override {
    if (idleCalls < steps.size()) steps[idleCalls](dialog);
    ++idleCalls;
  }
};

// The texts of several controls at once, each failure naming its control.
inline void ExpectTexts(HWND dialog, const std::vector<std::pair<int, const char*>>& texts) {
  for (const auto& [id, text] : texts) EXPECT_EQ(headless::ControlText(dialog, id), text) << id;
}

// The texts of a run of controls whose IDs step by `step` from `first`.
inline void ExpectRow(HWND dialog, int first, int step, const std::vector<const char*>& texts) {
  for (size_t i = 0; i < texts.size(); ++i) {
    const int id = first + step * static_cast<int>(i);
    EXPECT_EQ(headless::ControlText(dialog, id), texts[i]) << id;
  }
}

// Installs a person for one test and leaves a clean thread behind.
struct PersonScope {
  ScriptedPerson person;
  PersonScope() {
    headless::ResetThreadState();
    headless::SetObserver(&person);
  }
  ~PersonScope() { headless::ResetThreadState(); }
};

inline int dialogCreatedCalls = 0;
inline int32_t XFM_STDCALL NoteDialogCreated(void*, int32_t) {
  ++dialogCreatedCalls;
  return 0;
}

inline INT_PTR OpenPluginDialog(int templateId, WORD ordinal, XfmContext* context) {
  context->fnDialogCreated = SlotFromFunction(&NoteDialogCreated);
  HMODULE module = headless::PluginModule();
  // Through void (*)(), the generic function pointer type, as FARPROC is.
  DLGPROC procedure = reinterpret_cast<DLGPROC>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
  return DialogBoxParamA(module, MAKEINTRESOURCEA(templateId), nullptr, procedure,
                         reinterpret_cast<LPARAM>(context));
}
