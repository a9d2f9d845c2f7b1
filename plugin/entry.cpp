// The exported entry points that the host calls by name (the analysis run,
// XfmDo, lives in run.cpp), and the DLL initialisation routine. The plug-in
// keeps no state between calls: everything lasting is in the host-kept
// settings block, which each entry point locks for its own duration only.
#include <windows.h>

#include "hostlink/host_services.h"
#include "interface/control_ids.h"
#include "interface/entry_points.h"
#include "interface/settings.h"
#include "interface/xfm_types.h"

namespace {

// What QueryXfm tells the host.
constexpr const char TRANSFORM_NAME[] = "Quindo\\Acoustical Parameters (32-bit)";
constexpr const char COPYRIGHT_NOTICE[] =
    "Roomstat room-acoustics analysis, Copyright (C) 2026 the Roomstat project";
constexpr const char DESCRIPTION[] = "Calculate Acoustical Parameters 32-bit";
constexpr uint16_t INFO_WORD = 60;
constexpr uint32_t INFO_FLAGS = 65569;  // 0x10021
// One type letter per field of the settings block, 586 bytes in all when read
// with 4 bytes for f, i, l, h, 1 for c, 8 for d and 256 for s.
constexpr const char PARAM_TYPES[] = "fficccllllllhhccffcdssll";
constexpr const char PARAM_FLAGS[] = "yyyyyyyyyyyyyyyyyyyyyyyy";
constexpr WORD QUERY_RESULT = 1160;

static_assert(sizeof(TRANSFORM_NAME) <= sizeof(XfmInfo::name));
static_assert(sizeof(COPYRIGHT_NOTICE) <= sizeof(XfmInfo::copyright));
static_assert(sizeof(DESCRIPTION) <= sizeof(XfmInfo::description));
static_assert(sizeof(PARAM_TYPES) == 25 && sizeof(PARAM_FLAGS) == sizeof(PARAM_TYPES));
static_assert(sizeof(PARAM_TYPES) <= sizeof(XfmInfo::paramTypes));
static_assert(sizeof(PARAM_FLAGS) <= sizeof(XfmInfo::paramFlags));

// The size the host adds up from the type letters.
constexpr uint32_t TypeStringBytes(const char* letters) {
  uint32_t total = 0;
  for (; *letters != '\0'; ++letters)
    total += *letters == 'c' ? 1 : *letters == 'd' ? 8 : *letters == 's' ? 256 : 4;
  return total;
}
static_assert(TypeStringBytes(PARAM_TYPES) == sizeof(AnalysisSettings));

// Default settings of a new block.
constexpr float DEFAULT_RTU_START_DB = -5.0f;
constexpr float DEFAULT_RTU_END_DB = -15.0f;
constexpr float DEFAULT_THRESHOLD = 10000.0f;
// The band analysis's threshold is the integer part of the W threshold; set
// with it so that a run before the first confirmed setup uses the same value.
constexpr int16_t DEFAULT_ARRIVAL_THRESHOLD = 10000;
constexpr double DEFAULT_BOOST_DB = 3.0;

// Copies a zero-terminated text with its terminator, as the host's fields
// expect; the bytes after the terminator are left as they are.
template <size_t N>
void CopyText(char (&field)[N], const char* text) {
  size_t i = 0;
  for (; i + 1 < N && text[i] != '\0'; ++i) field[i] = text[i];
  field[i] = '\0';
}

}  // namespace

extern "C" WORD WINAPI QueryXfm(XfmInfo* info) {
  CopyText(info->name, TRANSFORM_NAME);
  CopyText(info->copyright, COPYRIGHT_NOTICE);
  CopyText(info->description, DESCRIPTION);
  info->infoWord = INFO_WORD;
  info->infoFlags = INFO_FLAGS;
  info->paramSize = SETTINGS_SIZE;
  CopyText(info->paramTypes, PARAM_TYPES);
  CopyText(info->paramFlags, PARAM_FLAGS);
  return QUERY_RESULT;
}

// Called once the host has provided a new settings block: writes the
// defaults. Fields without a default (the unused span, the result pointers of
// the last run, the lateral pass's working values) keep what the block holds.
extern "C" LONG WINAPI XfmInit(XfmContext* ctx) {
  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) return 0;
  settings->rtuStartDb = DEFAULT_RTU_START_DB;
  settings->rtuEndDb = DEFAULT_RTU_END_DB;
  settings->arrivalThreshold = DEFAULT_ARRIVAL_THRESHOLD;
  settings->noiseCorrection = 1;
  settings->thirdOctave = 0;
  settings->shownChannel = 0;
  settings->resultValues = 0;
  settings->resultFlags = 0;
  settings->ownerWindow = 0;
  settings->moduleHandle = 0;
  settings->wThreshold = DEFAULT_THRESHOLD;
  settings->yThreshold = DEFAULT_THRESHOLD;
  settings->thresholdLock = 1;
  settings->boostDb = DEFAULT_BOOST_DB;
  UnlockSettings(ctx);
  return 1;
}

// Called when the user opens the settings. The settings dialog edits the
// record itself and ends with 1 for OK, 0 for Cancel; a confirmed dialog (or
// one that could not be created, result -1) records the owner window and the
// module handle that the run later opens its results dialog with.
extern "C" LONG WINAPI XfmSetup(HWND parent, HINSTANCE module, XfmContext* ctx) {
  FARPROC export100 = GetProcAddress(module, MAKEINTRESOURCEA(ORDINAL_SETTINGS_DIALOG));
  // The export table hands out untyped addresses; the generic function type
  // in between says that the cast is deliberate.
  DLGPROC procedure = reinterpret_cast<DLGPROC>(reinterpret_cast<void (*)()>(export100));
  const INT_PTR dialogResult = DialogBoxParamA(module, MAKEINTRESOURCEA(SETTINGS_DIALOG_TEMPLATE), parent,
                                               procedure, reinterpret_cast<LPARAM>(ctx));
  const WORD result = static_cast<WORD>(static_cast<UINT_PTR>(dialogResult) & 0xFFFFu);
  if (result == 0) return 0;

  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) return 0;
  settings->ownerWindow = SlotFromAddress(parent);
  settings->moduleHandle = SlotFromAddress(module);
  UnlockSettings(ctx);
  return static_cast<LONG>(static_cast<int16_t>(result));
}

// End of an instance. The host owns the settings block and frees it; the
// lock only confirms that the block is still there.
extern "C" LONG WINAPI XfmDestroy(XfmContext* ctx) {
  AnalysisSettings* settings = LockSettings(ctx);
  if (settings == nullptr) return 0;
  UnlockSettings(ctx);
  return 1;
}

#ifdef _WIN32
// The module needs no initialisation of its own.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
