// Roomstat_32.xfm itself, as the mingw build produced it, loaded by the
// stand-in's PE loader and driven through the host kit: whole runs give the
// same transcript (reports, messages, dialog views, settings bytes, service
// calls) as the statically linked plug-in of this build, and its resources
// are the templates that the resource script declares.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/kit/plugin_host.h"
#include "interface/control_ids.h"
#include "interface/settings.h"
#include "platform/headless.h"
#include "platform/pe_loader.h"
#include "tests/run_harness.h"

// The linked plug-in's export table, generated from Roomstat_32.def.
headless::ModuleExports StaticPluginExports();

namespace {

using hostkit::LoadedPlugin;
using hostkit::ModuleEntryPoints;
using hostkit::PluginHost;

std::string DllPath() {
  const char* path = std::getenv("ROOMSTAT_DLL");
  return path != nullptr ? path : "";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// One module per process, loaded on first use on the test thread.
const LoadedPlugin& Dll() {
  static std::unique_ptr<LoadedPlugin> plugin = [] {
    std::string error;
    auto loaded = LoadedPlugin::Load(DllPath(), &error);
    if (!loaded) ADD_FAILURE() << "ROOMSTAT_DLL=" << DllPath() << ": " << error;
    return loaded;
  }();
  if (!plugin) std::abort();
  return *plugin;
}

// A person at the screen who acts on each dialog as the scenario says and
// writes down what it sees.
struct Person : headless::Observer {
  std::ostringstream seen;
  std::function<void(HWND, int templateId, int idle)> act;
  std::map<int, int> idleCount;  // by template

  int OnMessageBox(HWND, const std::string& text, const std::string& caption, UINT style) override {
    seen << "message " << caption << "|" << text << "|" << style << "\n";
    return IDOK;
  }
  void OnBeep(UINT type) override { seen << "beep " << type << "\n"; }
  void OnHelp(HWND, const std::string& file, UINT command, const std::string& keyword) override {
    seen << "help " << file << " " << command << " " << keyword << "\n";
  }
  void OnDialogIdle(HWND dialog) override {
    const int id = headless::ViewDialog(dialog).templateId;
    if (act) act(dialog, id, idleCount[id]++);
  }
  void OnDialogEnded(HWND dialog, INT_PTR result) override {
    seen << "ended " << headless::ViewDialog(dialog).templateId << " " << result << "\n";
  }
  void View(HWND dialog) {
    const headless::DialogView view = headless::ViewDialog(dialog);
    seen << "view " << view.templateId << " " << view.caption << "\n";
    for (const auto& c : view.controls)
      seen << "  " << c.id << " " << c.enabled << c.visible << c.checked << " " << c.text << "\n";
  }
};

struct Scenario {
  const char* name;
  uint16_t channels, bits;
  std::vector<std::pair<int, const char*>> typed;  // into the settings dialog
  bool thirdOctave, lock, noiseCorrection;         // ticks in the settings dialog
  int cancelAt;                                    // progress step that raises the stop request, 0 none
  const char* golden;                              // report file in tests/golden, or null
};

// What a run leaves beside its transcript: the clipboard report and the
// results store as published while the results dialog was open.
struct RunOutput {
  std::string report;
  AcousticResults store{};
  bool storeSeen = false;
};

// Init, the settings dialog (typed values, OK), one XfmDo whose results
// dialog is viewed, copied, switched to the other channel and viewed again,
// then XfmDestroy.
std::string Transcript(const ModuleEntryPoints& module, const Scenario& s, RunOutput* output) {
  headless::ResetThreadState();
  headless::ResetClipboard();
  const size_t blocksBefore = headless::LiveGlobalBlocks();
  Person person;
  headless::SetObserver(&person);
  std::ostringstream out;
  {
    PluginHost host(module);
    const std::vector<float> left =
        runtest::DecayingNoise(44100, 0.7, 0.4, s.bits == 8 ? 120.0f : 20000.0f, 200, 21);
    const std::vector<float> right =
        runtest::DecayingNoise(44100, 0.7, 0.5, s.bits == 8 ? 110.0f : 20000.0f, 230, 22);
    host.SetAudio(s.channels, s.bits, 44100, s.channels == 2 ? runtest::Interleave(left, right) : left);
    host.SetInteractive(0xFFFF, 1);
    host.onProgress = [&](int32_t done, int32_t) {
      if (done == s.cancelAt) host.cancelWord = 1;
    };
    person.act = [&](HWND dialog, int templateId, int idle) {
      if (templateId == SETTINGS_DIALOG_TEMPLATE) {
        if (idle == 0) {
          for (const auto& [id, text] : s.typed) headless::TypeText(dialog, id, text);
          if (s.bits == 8) headless::TypeText(dialog, ID_W_THRESHOLD, "60");
          headless::SetCheckBox(dialog, ID_THIRD_OCTAVE, s.thirdOctave);
          headless::SetCheckBox(dialog, ID_LOCK, s.lock);
          headless::SetCheckBox(dialog, ID_NOISE_CORRECTION, s.noiseCorrection);
          person.View(dialog);
          headless::PressButton(dialog, ID_HELP);
          headless::PressButton(dialog, ID_OK);
        }
        return;
      }
      if (idle == 0) {
        output->storeSeen = hostkit::CopyPublishedResults(host.SettingsHandle(), &output->store);
        person.View(dialog);
        headless::PressButton(dialog, ID_COPY);
        headless::PressButton(dialog, ID_CHANNEL_BUTTON);
      } else if (idle == 1) {
        person.View(dialog);
        headless::PressButton(dialog, ID_HELP);
        headless::PressButton(dialog, ID_OK);
      }
    };
    const HWND owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x5150));
    out << "init " << host.Init() << "\nsetup " << host.Setup(owner) << "\n";
    host.calls.clear();
    out << "do " << host.Do() << "\n";
    runtest::RunRecord calls;
    calls.calls = host.calls;
    for (const std::string& word : calls.CallWords()) out << word << "\n";
    out << "destroy " << host.Destroy() << "\n";

    // The settings block as the host keeps it; the result pointers (addresses
    // of a finished run's store) and the module handle differ by nature.
    std::vector<uint8_t> bytes = host.SettingsBytes();
    AnalysisSettings settings;
    std::memcpy(&settings, bytes.data(), sizeof settings);
    EXPECT_EQ(AddressFromSlot(settings.moduleHandle), static_cast<void*>(module.module));
    for (size_t i = offsetof(AnalysisSettings, resultValues); i < offsetof(AnalysisSettings, ownerWindow);
         ++i)
      bytes[i] = 0;
    for (size_t i = 0; i < sizeof settings.moduleHandle; ++i)
      bytes[offsetof(AnalysisSettings, moduleHandle) + i] = 0;
    out << "settings";
    for (uint8_t byte : bytes) out << " " << static_cast<int>(byte);
    out << "\n";
  }
  headless::SetObserver(nullptr);
  output->report = headless::ClipboardText().value_or("");
  headless::ResetClipboard();  // frees the copied text
  out << person.seen.str() << "report\n"
      << output->report << "\nblocks left " << headless::LiveGlobalBlocks() - blocksBefore;
  return out.str();
}

// The whole runs, each compared between the two modules.
std::vector<Scenario> Scenarios() {
  const std::vector<std::pair<int, const char*>> defaults;
  const std::vector<std::pair<int, const char*>> clamped = {{ID_RTU_START, "5"},
                                                            {ID_RTU_END, "-150"},
                                                            {ID_W_THRESHOLD, " 12.5e3dB"},
                                                            {ID_Y_THRESHOLD, "99999"},
                                                            {ID_BOOST, "-2.5"}};
  const std::vector<std::pair<int, const char*>> unreachable = {{ID_W_THRESHOLD, "30000"}};
  // Decay-range edges that are exact ties at four digits (the report rounds
  // them away from zero), on a report longer than one 4000-byte block.
  const std::vector<std::pair<int, const char*>> ties = {{ID_RTU_START, "-1.0625"}, {ID_RTU_END, "-20.125"}};
  return {
      {"stereo octave 16-bit", 2, 16, defaults, false, true, true, 0, "report_stereo_octave.txt"},
      {"mono third-octave float", 1, 32, defaults, true, true, true, 0, "report_mono_third_octave.txt"},
      {"mono octave 8-bit", 1, 8, defaults, false, true, true, 0, nullptr},
      {"stereo third-octave 8-bit", 2, 8, defaults, true, true, true, 0, nullptr},
      {"stereo octave float, typed settings clamped", 2, 32, clamped, false, false, false, 0, nullptr},
      {"mono third-octave 16-bit, typed settings clamped", 1, 16, clamped, true, false, false, 0, nullptr},
      {"no first arrival", 2, 16, unreachable, false, true, true, 0, nullptr},
      {"cancelled after a level", 2, 16, defaults, false, true, true, 2, nullptr},
      {"stereo third-octave 16-bit, decay range on ties", 2, 16, ties, true, true, true, 0, nullptr},
  };
}

// The first byte at which two results stores differ, -1 when none does.
int FirstDifference(const AcousticResults& a, const AcousticResults& b) {
  const auto* p = reinterpret_cast<const unsigned char*>(&a);
  const auto* q = reinterpret_cast<const unsigned char*>(&b);
  for (size_t i = 0; i < sizeof(AcousticResults); ++i)
    if (p[i] != q[i]) return static_cast<int>(i);
  return -1;
}

// The transcripts (reports at four digits) and the results stores, every
// bit of every value, of the module and of the linked plug-in.
TEST(LoadedModule, WholeRunsMatchTheLinkedPlugin) {
  size_t stores = 0;  // runs that published results
  for (const Scenario& s : Scenarios()) {
    SCOPED_TRACE(s.name);
    RunOutput linkedRun, loadedRun;
    const std::string linked = Transcript(hostkit::StaticPlugin(), s, &linkedRun);
    const std::string loaded = Transcript(Dll().EntryPoints(), s, &loadedRun);
    EXPECT_EQ(loaded, linked);
    if (std::getenv("ROOMSTAT_SHOW_TRANSCRIPT") != nullptr) std::cout << loaded << "\n";
    EXPECT_NE(linked.find("blocks left 0"), std::string::npos);
    EXPECT_EQ(loadedRun.storeSeen, linkedRun.storeSeen);
    if (s.cancelAt != 0) {
      EXPECT_FALSE(linkedRun.storeSeen);  // a cancelled run shows no results
    }
    stores += linkedRun.storeSeen ? 1 : 0;
    EXPECT_EQ(FirstDifference(loadedRun.store, linkedRun.store), -1) << "first differing byte of the store";
    if (s.golden != nullptr) {
      EXPECT_EQ(loadedRun.report, ReadFile(std::string(ROOMSTAT_SOURCE_DIR) + "/tests/golden/" + s.golden));
    }
  }
  // Every run but the cancelled one and the one without a first arrival.
  EXPECT_EQ(stores, Scenarios().size() - 2);
}

// The long report of the ties scenario: whole, past one 4000-byte block, and
// with the decay-range edges rounded away from zero.
TEST(LoadedModule, ALongReportWithTiesIsCopiedWhole) {
  const Scenario s = Scenarios().back();
  RunOutput run;
  Transcript(Dll().EntryPoints(), s, &run);
  EXPECT_GT(run.report.size(), 4000u);
  EXPECT_NE(run.report.find("(-1.063 dB, -20.13 dB)"), std::string::npos) << run.report;
  EXPECT_EQ(run.report.substr(run.report.size() - 2), "\r\n");  // not cut short
}

// Every name and ordinal of Roomstat_32.def reaches the same function of the
// loaded module.
TEST(LoadedModule, ExportsByNameAndByOrdinalAreTheDefinitions) {
  const headless::ModuleExports definitions = StaticPluginExports();
  const HINSTANCE module = Dll().EntryPoints().module;
  for (size_t i = 0; i < definitions.count; ++i) {
    const headless::ModuleExport& entry = definitions.exports[i];
    const FARPROC byName = GetProcAddress(module, entry.name);
    EXPECT_NE(byName, nullptr) << entry.name;
    EXPECT_EQ(byName, GetProcAddress(module, MAKEINTRESOURCEA(entry.ordinal))) << entry.name;
  }
}

// windres's binary templates read back as the script parser reads the script:
// same dialogs, controls, classes, texts, geometry and styles. (A control
// that the script writes as CONTROL may read back as the statement that its
// class and style amount to.)
TEST(LoadedModule, DialogTemplatesAreTheScriptsAndTheBitmapIsTheToolbarIcon) {
  auto describe = [](const headless::DialogView& view) {
    std::ostringstream out;
    out << view.caption << " " << view.x << "," << view.y << " " << view.width << "x" << view.height << " "
        << std::hex << view.style << std::dec << " " << view.fontFace << " " << view.fontPointSize << "\n";
    for (const auto& c : view.controls) {
      std::string windowClass = c.windowClass;
      for (char& ch : windowClass) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      out << c.kind << " " << c.id << " " << windowClass << " \"" << c.text << "\" " << c.x << "," << c.y
          << " " << c.width << "x" << c.height << " " << std::hex << c.style << std::dec << "\n";
    }
    return out.str();
  };
  const HINSTANCE module = Dll().EntryPoints().module;
  for (int id : {SETTINGS_DIALOG_TEMPLATE, OCTAVE_DIALOG_TEMPLATE, THIRD_OCTAVE_DIALOG_TEMPLATE}) {
    const auto script = headless::DialogTemplate(id);
    auto binary = headless::DialogTemplate(id, module);
    ASSERT_TRUE(script && binary) << "dialog " << id;
    for (size_t i = 0; i < script->controls.size() && i < binary->controls.size(); ++i)
      if (script->controls[i].kind == "CONTROL") binary->controls[i].kind = "CONTROL";
    EXPECT_EQ(describe(*binary), describe(*script)) << "dialog " << id;
  }

  // BITMAPINFOHEADER, 16-colour palette, 20 rows of 12 bytes.
  const std::string_view bitmap = headless::PeResource(Dll().Module(), 2, "TOOLBARICON");
  ASSERT_GE(bitmap.size(), 40u + 16 * 4 + 20 * 12);
  auto field = [&](size_t offset, size_t width) {
    uint32_t value = 0;
    std::memcpy(&value, bitmap.data() + offset, width);
    return value;
  };
  EXPECT_EQ(std::vector<uint32_t>(
                {field(0, 4), field(4, 4), field(8, 4), field(12, 2), field(14, 2), field(16, 4)}),
            std::vector<uint32_t>({40, 20, 20, 1, 4, 0}));
}

// What cannot be loaded is refused with a reason that names the problem; a
// module that imports something the stand-in lacks is never run.
TEST(LoadedModule, ModulesThatCannotRunAreRefusedWithTheReason) {
  const std::string dll = ReadFile(DllPath());
  const std::string dir = testing::TempDir();
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir + name, std::ios::binary) << bytes;
    return dir + name;
  };
  std::string unknownImport = dll;
  const size_t sleep = unknownImport.find(std::string("Sleep\0", 6));
  ASSERT_NE(sleep, std::string::npos);
  unknownImport.replace(sleep, 5, "Slept");
  const struct {
    std::string path;
    const char* reason;
  } cases[] = {
      {dir + "missing.xfm", "cannot be read"},
      {write("text.xfm", "LIBRARY Roomstat_32.xfm\n"), "not a DOS/PE executable"},
      {write("truncated.xfm", dll.substr(0, 2048)), "outside the image or the file"},
      {write("unknown_import.xfm", unknownImport), "unbound imports: KERNEL32.dll!Slept"},
  };
  const size_t blocks = headless::LiveGlobalBlocks();
  for (const auto& c : cases) {
    std::string error;
    EXPECT_EQ(LoadedPlugin::Load(c.path, &error), nullptr);
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
  EXPECT_EQ(headless::LiveGlobalBlocks(), blocks);
}

// Reports and dialogs print four significant digits, so a C library whose
// log10 and tan differ from glibc's in the last bit cannot change them: with
// both functions one unit in the last place off, either way, the golden runs
// print byte for byte the same. Each copy is loaded beside the first one, so
// it is relocated away from its preferred base.
double Log10Up(double x) { return std::nextafter(std::log10(x), HUGE_VAL); }
double Log10Down(double x) { return std::nextafter(std::log10(x), -HUGE_VAL); }
double TanUp(double x) { return std::nextafter(std::tan(x), HUGE_VAL); }
double TanDown(double x) { return std::nextafter(std::tan(x), -HUGE_VAL); }

TEST(LoadedModule, ALastBitOffInLog10AndTanLeavesTheReportsAlone) {
  const std::pair<double (*)(double), double (*)(double)> variants[] = {{&Log10Up, &TanUp},
                                                                        {&Log10Down, &TanDown}};
  Dll();
  for (const auto& [log10Variant, tanVariant] : variants) {
    std::string error;
    auto plugin = LoadedPlugin::Load(DllPath(), &error,
                                     {{"msvcrt.dll", "log10", reinterpret_cast<const void*>(log10Variant)},
                                      {"msvcrt.dll", "tan", reinterpret_cast<const void*>(tanVariant)}});
    ASSERT_TRUE(plugin) << error;
    ASSERT_NE(plugin->EntryPoints().module, Dll().EntryPoints().module);
    for (const Scenario& s : Scenarios()) {
      if (s.golden == nullptr) continue;
      RunOutput run, linkedRun;
      EXPECT_EQ(Transcript(plugin->EntryPoints(), s, &run),
                Transcript(hostkit::StaticPlugin(), s, &linkedRun))
          << s.name;
      EXPECT_EQ(run.report, ReadFile(std::string(ROOMSTAT_SOURCE_DIR) + "/tests/golden/" + s.golden))
          << s.name;
    }
  }
}

}  // namespace
