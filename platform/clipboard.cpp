// The clipboard of the calling thread's desktop, holding CF_TEXT only.
// Another program may hold it open (HoldClipboardElsewhere), which makes
// OpenClipboard fail as it does on Windows while another window has it.
#include <windows.h>

#include "platform/headless.h"
#include "platform/internal.h"

using headless::detail::CurrentThread;

extern "C" {

BOOL WINAPI OpenClipboard(HWND) {
  headless::detail::ThreadState& state = CurrentThread();
  if (state.clipboardHeldElsewhere || state.clipboardOpen) return FALSE;
  state.clipboardOpen = true;
  return TRUE;
}

BOOL WINAPI EmptyClipboard() {
  headless::detail::ThreadState& state = CurrentThread();
  if (!state.clipboardOpen) return FALSE;
  headless::ResetClipboard();
  return TRUE;
}

HANDLE WINAPI SetClipboardData(UINT format, HANDLE memory) {
  headless::detail::ThreadState& state = CurrentThread();
  const HGLOBAL block = static_cast<HGLOBAL>(memory);
  if (!state.clipboardOpen || format != CF_TEXT || GlobalSize(block) == 0) return nullptr;
  if (state.clipboardText != nullptr && state.clipboardText != block) GlobalFree(state.clipboardText);
  state.clipboardText = block;  // the clipboard owns the block from now on
  return memory;
}

HANDLE WINAPI GetClipboardData(UINT format) {
  const headless::detail::ThreadState& state = CurrentThread();
  if (!state.clipboardOpen || format != CF_TEXT) return nullptr;
  return state.clipboardText;
}

BOOL WINAPI CloseClipboard() {
  headless::detail::ThreadState& state = CurrentThread();
  if (!state.clipboardOpen) return FALSE;
  state.clipboardOpen = false;
  return TRUE;
}

}  // extern "C"

namespace headless {

void HoldClipboardElsewhere(bool held) { CurrentThread().clipboardHeldElsewhere = held; }

std::optional<std::string> ClipboardText() {
  const HGLOBAL block = CurrentThread().clipboardText;
  if (block == nullptr) return std::nullopt;
  return detail::ReadTextBlock(block);
}

void ResetClipboard() {
  detail::ThreadState& state = CurrentThread();
  if (state.clipboardText != nullptr) GlobalFree(state.clipboardText);
  state.clipboardText = nullptr;
}

}  // namespace headless
