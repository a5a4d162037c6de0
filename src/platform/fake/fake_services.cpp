// The system services the fake simulates: atoms, the privilege step and
// the exit and power requests, the multimedia commands, the registry, files
// and program launches, environment variables and the code page.

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/fake/code_page_932.h"
#include "platform/fake/fake_platform.h"

namespace kestrune {

namespace {

constexpr Handle kTokenHandle = 0x4242;
constexpr uint32_t kShutdownLuid = 19;

}  // namespace

// ---- Atoms ----

Atom FakePlatform::GlobalAddAtomA(const char* name) {
  if (failAddAtom) return 0;
  auto it = atoms.find(name);
  if (it != atoms.end()) {
    ++it->second.second;
    return it->second.first;
  }
  Atom atom = nextAtom_++;
  atoms[name] = {atom, 1};
  return atom;
}

Atom FakePlatform::GlobalDeleteAtom(Atom atom) {
  for (auto it = atoms.begin(); it != atoms.end(); ++it) {
    if (it->second.first != atom) continue;
    if (--it->second.second == 0) atoms.erase(it);
    return 0;
  }
  return atom;
}

// ---- Privileges, exit and power requests ----

Handle FakePlatform::GetCurrentProcess() {
  privilegeCalls.push_back("GetCurrentProcess");
  return static_cast<Handle>(-1);
}

bool FakePlatform::OpenProcessToken(Handle process, uint32_t access, Handle* token) {
  privilegeCalls.push_back("OpenProcessToken(" + std::to_string(static_cast<intptr_t>(process)) +
                           "," + std::to_string(access) + ")");
  if (failPrivilegeCalls) return false;
  *token = kTokenHandle;
  return true;
}

bool FakePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
  privilegeCalls.push_back(std::string("LookupPrivilegeValueA(") +
                           (systemName ? systemName : "null") + "," + name + ")");
  if (failPrivilegeCalls) return false;
  luid->lowPart = kShutdownLuid;
  luid->highPart = 0;
  return true;
}

bool FakePlatform::AdjustTokenPrivileges(Handle token, bool disableAll,
                                         const TokenPrivilege& newState, uint32_t bufferLength,
                                         TokenPrivilege*, uint32_t*) {
  privilegeCalls.push_back("AdjustTokenPrivileges(" + std::to_string(token) + "," +
                           std::to_string(disableAll) +
                           ",count=" + std::to_string(newState.privilegeCount) +
                           ",luid=" + std::to_string(newState.luid.lowPart) +
                           ",attributes=" + std::to_string(newState.attributes) +
                           ",length=" + std::to_string(bufferLength) + ")");
  return !failPrivilegeCalls;
}

bool FakePlatform::CloseHandle(Handle handle) {
  privilegeCalls.push_back("CloseHandle(" + std::to_string(handle) + ")");
  closedHandles.insert(handle);
  return true;
}

bool FakePlatform::ExitWindowsEx(uint32_t flags, uint32_t reserved) {
  if (ProcessGone()) return false;
  exitRequests.push_back(flags);
  exitReservedArgs.push_back(reserved);
  if (!exitWindowsRefusal) return true;
  lastError = *exitWindowsRefusal;
  return false;
}

bool FakePlatform::SetSystemPowerState(int32_t suspend, int32_t force) {
  if (ProcessGone()) return false;
  powerRequests.emplace_back(suspend, force);
  if (powerStateLastError) lastError = *powerStateLastError;
  if (powerStateResult) return *powerStateResult;
  return lastError == 0;
}

uint32_t FakePlatform::GetLastError() {
  return lastError;
}

// ---- Multimedia ----

uint32_t FakePlatform::mciSendStringA(const char* command, char*, uint32_t, Hwnd) {
  std::string text = FromAnsi(command);
  mciCommands.push_back(text);
  if (mciResponder) return mciResponder(text);
  static constexpr char kOpen[] = "open \"";
  static constexpr char kAlias[] = "\" alias mysound";
  if (text.rfind(kOpen, 0) != 0) return 0;
  if (text.size() < sizeof kOpen + sizeof kAlias - 2 ||
      text.compare(text.size() - (sizeof kAlias - 1), std::string::npos, kAlias) != 0)
    return 275;
  std::string name =
      text.substr(sizeof kOpen - 1, text.size() - (sizeof kOpen - 1) - (sizeof kAlias - 1));
  return files.count(name) ? 0 : 275;  // 275: file not found
}

// ---- Registry ----

int32_t FakePlatform::RegOpenKeyExA(Handle root, const char* subKey, uint32_t, uint32_t access,
                                    Handle* result) {
  registryAccessMasks.push_back(access);
  if (access & deniedAccessBits) return 5;  // access denied
  auto it = registry.find({root, subKey});
  if (it == registry.end()) return 2;  // not found
  Handle h = nextKey_++;
  openKeys_[h] = it->first;
  *result = h;
  return 0;
}

int32_t FakePlatform::RegQueryValueExA(Handle key, const char* valueName, uint32_t* type,
                                       uint8_t* data, uint32_t* size) {
  auto open = openKeys_.find(key);
  if (open == openKeys_.end()) return 6;  // invalid handle
  auto& values = registry[open->second];
  auto it = values.find(valueName ? valueName : "");
  if (it == values.end()) return 2;
  const RegistryValue& value = it->second;
  if (type) *type = value.type;
  auto length = static_cast<uint32_t>(value.data.size());
  if (data && size && *size < length) {
    *size = length;
    return 234;  // more data
  }
  if (data) std::memcpy(data, value.data.data(), length);
  if (size) *size = length;
  return 0;
}

int32_t FakePlatform::RegCloseKey(Handle key) {
  registryCloses.push_back(key);
  return openKeys_.erase(key) ? 0 : 6;
}

// ---- Files, programs and the environment ----

bool FakePlatform::FileExists(const std::string& path) {
  return path.size() <= pathLimit && files.count(path) != 0 && hiddenFiles.count(path) == 0;
}

bool FakePlatform::Launch(const std::string& path) {
  launches.push_back(path);
  return FileExists(path);
}

std::string FakePlatform::ExpandEnvironmentVariables(const std::string& text) {
  auto sameName = [](const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return std::tolower(static_cast<unsigned char>(x)) ==
             std::tolower(static_cast<unsigned char>(y));
    });
  };
  auto lookup = [&](const std::string& name) -> const std::string* {
    for (const auto& [key, value] : environment) {
      if (sameName(key, name)) return &value;
    }
    return nullptr;
  };
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) break;
    out.append(text, pos, open - pos);
    const std::string* value = lookup(text.substr(open + 1, close - open - 1));
    if (value)
      out += *value;
    else
      out.append(text, open, close - open + 1);
    pos = close + 1;
  }
  out.append(text, pos, std::string::npos);
  return out;
}

WindowRuntime::FileRead FakePlatform::ReadFileBytes(const std::string& path, size_t maxBytes) {
  auto it = files.find(path);
  if (path.size() > pathLimit || it == files.end()) return {ReadOutcome::Missing, {}};
  if (lockedFiles.count(path)) return {ReadOutcome::Unreadable, {}};
  if (it->second.size() > maxBytes) return {ReadOutcome::TooLarge, {}};
  readSizes.push_back(it->second.size());
  return {ReadOutcome::Read, it->second};
}

WindowRuntime::Replaced FakePlatform::ReplaceFileBytes(const std::string& path,
                                                       const std::string& bytes,
                                                       const std::string& backupPath,
                                                       const std::optional<std::string>& knownOld) {
  if (ended || failFileWrites || path.size() > pathLimit || backupPath.size() > pathLimit)
    return {};
  const bool exists = files.count(path) != 0;
  if (exists && (readOnlyFiles.count(path) || lockedFiles.count(path))) return {};
  // Hidden and system files count: they are the user's as much as others.
  const bool keepOld = exists && !backupPath.empty() && files[path] != knownOld;
  const std::string folder = path.substr(0, path.find_last_of('\\'));
  if (noCreateFolders.count(folder)) {
    // In place: the file and any backup must exist already.
    if (!exists || (keepOld && files.count(backupPath) == 0)) return {};
  }
  // A read-only backup is never replaced: the old bytes go back, or where
  // they cannot, stay stranded beside.
  const bool stranded = keepOld && readOnlyFiles.count(backupPath) != 0;
  if (stranded && oldBytesStrandedAt.empty()) return {};
  if (keepOld) files[stranded ? oldBytesStrandedAt : backupPath] = files[path];
  files[path] = bytes;
  return {true, stranded ? oldBytesStrandedAt : std::string()};
}

// ---- Code page 932 ----

bool FakePlatform::IsDBCSLeadByte(uint8_t byte) {
  return !utf8AnsiCodePage && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
}

std::string FakePlatform::AnsiOf(const std::string& text) const {
  return utf8AnsiCodePage ? text : Utf8ToCodePage932(text);
}

std::optional<std::string> FakePlatform::ToAnsi(const std::string& text) {
  if (failAnsiConversions) return std::nullopt;
  return AnsiOf(text);
}

std::string FakePlatform::FromAnsi(const std::string& bytes) {
  return utf8AnsiCodePage ? bytes : CodePage932ToUtf8(bytes);
}

}  // namespace kestrune
