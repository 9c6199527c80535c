// Opening: the host's version picks the default scripts folder, then the
// preferences file restores the bounds and the last folder. Closing writes
// them back and ends the program.
#include <array>

#include "bridge/bridge.h"
#include "palette/window1.h"
#include "platform/runtime.h"
#include "platform/specialfolders.h"
#include "platform/text.h"
#include "platform/textstreams.h"

namespace palette {

namespace {

struct HostFolder {
  const char* versionKey;
  std::array<const char*, 4> chain;  // from the boot volume's root
};

// Tried in order; the first key found anywhere in the version text wins.
// The Japanese names are precomposed (U+30D7, not U+30D5 U+309A).
constexpr HostFolder kHostFolders[] = {
    {"14", {"Applications", "Adobe Illustrator CS4", "Presets.localized", "Scripts.localized"}},
    {"13", {"Applications", "Adobe Illustrator CS3", "Presets.localized", "Scripts.localized"}},
    {"12", {"Applications", "Adobe Illustrator CS2", "Presets.localized", "Scripts.localized"}},
    {"11", {"Applications", "Adobe Illustrator CS", "Presets.localized", "Scripts.localized"}},
    {"10",
     {"Applications", "Adobe Illustrator 10.0.3", "\u30D7\u30EA\u30BB\u30C3\u30C8",
      "\u30B9\u30AF\u30EA\u30D7\u30C8"}},
};

constexpr const char* kPrefName = "velquor.pref";

// Quitting is the last act of closing, also when writing the file failed:
// a palette whose window is gone must not linger.
struct QuitOnExit {
  ~QuitOnExit() { platform::Quit(0); }
};

}  // namespace

void Window1::Event_Open() {
  gAiver = bridge::getAiVer(platform::MakeList());

  Ref<platform::FolderItem> preferences = platform::PreferencesFolder();
  gMyPref = preferences ? preferences->Child(kPrefName) : nullptr;

  for (const HostFolder& row : kHostFolders) {
    if (platform::InStr(0, gAiver, row.versionKey) > 0) {
      Ref<platform::FolderItem> step = platform::Volume(0);
      for (const char* name : row.chain) {
        if (!step) break;
        step = step->Child(name);
      }
      gMyScriptFolder = step;
      break;
    }
  }

  if (gMyPref && gMyPref->Exists()) {
    if (Ref<platform::TextInputStream> in = gMyPref->OpenAsTextFile()) {
      auto readBound = [&in] { return platform::ToInt32(platform::Val(in->ReadLine())); };
      SetLeft(readBound());
      SetTop(readBound());
      SetWidth(readBound());
      SetHeight(readBound());
      const String folderLine = in->ReadLine();
      in->Close();
      if (!folderLine.IsEmpty()) {
        if (Ref<platform::FolderItem> folder = platform::GetFolderItem(folderLine, 0)) {
          gMyScriptFolder = folder;
        }
      }
    }
  }

  setLB1();
}

void Window1::Event_Close() {
  QuitOnExit quit;
  if (!gMyPref) return;
  Ref<platform::TextOutputStream> out = gMyPref->CreateTextFile();
  gMyPref->SetMacType("pref");
  if (!out) return;
  out->WriteLine(platform::Str(Left()));
  out->WriteLine(platform::Str(Top()));
  out->WriteLine(platform::Str(Width()));
  out->WriteLine(platform::Str(Height()));
  String folderLine = gMyScriptFolder ? gMyScriptFolder->AbsolutePath() : String();
  // A path that cannot stay on one line would come back as another folder;
  // it is not kept, as if there were none.
  if (folderLine.view().find_first_of("\r\n") != std::string_view::npos) folderLine = String();
  out->WriteLine(folderLine);
  // A failed commit leaves the previous file whole; there is no one to tell.
  out->Close();
}

}  // namespace palette
