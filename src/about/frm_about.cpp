#include "about/frm_about.h"

#include <algorithm>
#include <array>
#include <optional>

#include "app/texts.h"

namespace kestrune {
namespace {

using K = ControlKind;
namespace t = texts;

// Rows in tab order; the separator lines take no part in it. Line1(0) is
// white and two pixels wide, Line1(1) grey on top of it: together one
// etched line.
constexpr ControlSpec kControls[] = {
    {"cmdOK", -1, K::CommandButton, nullptr, 3120, 1440, 1380, 345, t::kOk, 0, true, true, 0, "", 0,
     1, /*isDefault=*/true, /*isCancel=*/true},
    {"picIcon", -1, K::PictureBox, nullptr, 240, 240, 540, 540, "", 1},
    {"cmdSysInfo", -1, K::CommandButton, nullptr, 120, 1440, 1380, 345, t::kSysInfoButton, 2},
    {"lblDescription", -1, K::Label, nullptr, 1800, 1680, 3885, 1170, "", 3},
    {"lblDisclaimer", -1, K::Label, nullptr, 120, 840, 4335, 345, t::kAboutDisclaimerDesign, 4},
    {"lblTitle", -1, K::Label, nullptr, 1050, 240, 3885, 240, t::kAboutTitleDesign, 5},
    {"lblVersion", -1, K::Label, nullptr, 1050, 480, 3885, 225, t::kAboutVersionDesign, 6},
    {"Line1", 0, K::Line, nullptr, 120, 1320, 4440, 1320, "", -1, true, true, 0, "", 0,
     /*lineWidth=*/2},
    {"Line1", 1, K::Line, nullptr, 120, 1320, 4440, 1320, "", -1},
};

constexpr FormSpec kAbout = {t::kAboutCaption, 4605, 1890, FormStyle::FixedDialog, kControls, {}};

// Where System Information is registered, under HKEY_LOCAL_MACHINE: first
// the program's full path, then the folder that holds it.
constexpr char kSysInfoKey[] = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
constexpr char kSysInfoValue[] = "PATH";
constexpr char kSysInfoFolderKey[] = "SOFTWARE\\Microsoft\\Shared Tools Location";
constexpr char kSysInfoFolderValue[] = "MSINFO";
constexpr char kSysInfoFileName[] = "MSINFO32.EXE";

// Longer values fail the query rather than being cut short.
constexpr uint32_t kValueBufferSize = 1024;

uint32_t LittleEndian(const std::string& bytes) {
  uint32_t number = 0;
  size_t count = std::min<size_t>(bytes.size(), 4);
  for (size_t i = count; i-- > 0;) number = (number << 8) | static_cast<uint8_t>(bytes[i]);
  return number;
}

}  // namespace

const FormSpec& FrmAboutLayout() {
  return kAbout;
}

FrmAbout::FrmAbout(Win32Ops& win32, WindowRuntime& runtime)
    : Form(kAbout),
      ops(win32),
      rt(runtime),
      picIcon(Find("picIcon")),
      lblTitle(Find("lblTitle")),
      lblVersion(Find("lblVersion")),
      lblDisclaimer(Find("lblDisclaimer")),
      cmdSysInfo(Find("cmdSysInfo")),
      cmdOK(Find("cmdOK")),
      lblDescription(Find("lblDescription")) {}

void FrmAbout::Form_Load() {
  const VersionInfo version = rt.Version();
  SetCaption(t::kAppTitle);
  lblVersion.SetCaption(t::kVersionPrefix + std::to_string(version.major) + "." +
                        std::to_string(version.minor) + "." + std::to_string(version.revision) +
                        t::kBeta);
  lblTitle.SetCaption(t::kAppTitle);
  lblDisclaimer.SetCaption(version.legalCopyright);
}

void FrmAbout::Click(Control& control) {
  if (&control == &cmdOK)
    cmdOK_Click();
  else if (&control == &cmdSysInfo)
    cmdSysInfo_Click();
}

void FrmAbout::cmdOK_Click() {
  rt.Unload(*this);
}

void FrmAbout::cmdSysInfo_Click() {
  StartSysInfo();
}

void FrmAbout::StartSysInfo() {
  std::optional<std::string> path = FindSysInfo();
  if (!path || !rt.Launch(*path)) rt.MsgBox(t::kSysInfoUnavailable, kMbOk, t::kAppTitle);
}

std::optional<std::string> FrmAbout::FindSysInfo() {
  std::string value;
  switch (GetKeyValue(kHkeyLocalMachine, kSysInfoKey, kSysInfoValue, value)) {
    case KeyRead::Read:
      return value;
    case KeyRead::NoData:
      return std::nullopt;
    case KeyRead::Failed:
      break;
  }
  if (GetKeyValue(kHkeyLocalMachine, kSysInfoFolderKey, kSysInfoFolderValue, value) !=
      KeyRead::Read)
    return std::nullopt;
  std::string path = value + "\\" + kSysInfoFileName;
  if (!rt.FileExists(path)) return std::nullopt;
  return path;
}

KeyRead FrmAbout::GetKeyValue(Handle KeyRoot, const std::string& KeyName,
                              const std::string& SubKeyRef, std::string& KeyVal) {
  Handle key = 0;
  KeyRead result = KeyRead::Failed;
  // Read access only: a standard user may not open HKEY_LOCAL_MACHINE for
  // writing, and nothing here writes.
  const std::optional<std::string> name = rt.ToAnsi(KeyName);
  if (name && ops.RegOpenKeyExA(KeyRoot, name->c_str(), 0, kKeyRead, &key) == 0)
    result = QueryValue(key, SubKeyRef, KeyVal);
  if (result == KeyRead::Failed) KeyVal.clear();
  // Closed on every road, the failed open (handle 0) included; a value
  // without data must not leak the key either.
  ops.RegCloseKey(key);
  return result;
}

KeyRead FrmAbout::QueryValue(Handle key, const std::string& SubKeyRef, std::string& KeyVal) {
  std::array<uint8_t, kValueBufferSize> buffer{};
  uint32_t size = kValueBufferSize;
  uint32_t type = 0;
  const std::optional<std::string> name = rt.ToAnsi(SubKeyRef);
  if (!name || ops.RegQueryValueExA(key, name->c_str(), &type, buffer.data(), &size) != 0)
    return KeyRead::Failed;
  if (size == 0) return KeyRead::NoData;
  std::string data(reinterpret_cast<const char*>(buffer.data()), std::min(size, kValueBufferSize));
  if (data.back() == '\0') data.pop_back();
  KeyVal = DecodeValue(type, data, KeyVal);
  return KeyRead::Read;
}

std::string FrmAbout::DecodeValue(uint32_t type, const std::string& data,
                                  const std::string& previous) {
  switch (type) {
    case kRegSz:
      return rt.FromAnsi(data);
    case kRegExpandSz:
      // The path may be stored with variables such as %ProgramFiles%.
      return rt.ExpandEnvironmentVariables(rt.FromAnsi(data));
    case kRegDword:
      return std::to_string(LittleEndian(data));
    default:
      return previous;
  }
}

}  // namespace kestrune
