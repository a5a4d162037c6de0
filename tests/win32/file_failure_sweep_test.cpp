// Every file call of a save, failed in turn at each of its calls with each
// error its documentation names; after every one the old bytes or the new
// ones are in place, the user's bytes survive, no temporary file is left,
// and the result tells the truth about which.
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/win32/real_files.h"

namespace kestrune::win32 {
namespace {

enum Call {
  kCreateFile,
  kReadFile,
  kWriteFile,
  kSetEndOfFile,
  kFlushFileBuffers,
  kReplaceFile,
  kMoveFileEx,
  kCopyFile,
  kDeleteFile,
  kGetFileAttributes,
  kGetFileSizeEx,
  kCallCount
};

struct CallErrors {
  const char* name;
  std::vector<DWORD> errors;
};
const std::array<CallErrors, kCallCount> kErrors = {{
    {"CreateFileW",
     {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION,
      ERROR_FILE_EXISTS}},
    {"ReadFile", {ERROR_OPERATION_ABORTED, ERROR_NOT_ENOUGH_QUOTA, ERROR_LOCK_VIOLATION}},
    {"WriteFile",
     {ERROR_OPERATION_ABORTED, ERROR_NOT_ENOUGH_QUOTA, ERROR_DISK_FULL, ERROR_LOCK_VIOLATION}},
    {"SetEndOfFile", {ERROR_USER_MAPPED_FILE, ERROR_DISK_FULL}},
    {"FlushFileBuffers", {ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED, ERROR_DISK_FULL}},
    {"ReplaceFileW",
     {ERROR_UNABLE_TO_REMOVE_REPLACED, ERROR_UNABLE_TO_MOVE_REPLACEMENT,
      ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, ERROR_ACCESS_DENIED}},
    {"MoveFileExW",
     {ERROR_ACCESS_DENIED, ERROR_ALREADY_EXISTS, ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION,
      ERROR_NOT_SAME_DEVICE}},
    {"CopyFileW",
     {ERROR_ACCESS_DENIED, ERROR_FILE_EXISTS, ERROR_FILE_NOT_FOUND, ERROR_SHARING_VIOLATION,
      ERROR_DISK_FULL}},
    {"DeleteFileW", {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED}},
    {"GetFileAttributesW",
     {ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION}},
    {"GetFileSizeEx", {ERROR_INVALID_HANDLE, ERROR_ACCESS_DENIED}},
}};

// What another program left or holds at a name beside default.ini.
enum class State { kAbsent, kFile, kReadOnly, kHidden, kFolder, kHeld, kHeldWithoutDelete, kCount };

// What a sync client or scanner does to default.ini itself: holds it
// without delete sharing until the first replace is refused, opens the new
// file the moment it is in place, or has made it a link to a synced folder.
enum class Target { kPlain, kHeldForAMoment, kOpenedOnceReplaced, kLink };

// The one failure of a run: the index-th call (from 0) of call fails with
// error. A folder where no file may be created refuses every new file. The
// save's own name for the old file gets oldState: set up just before the
// replace, or held from the moment the replace made it.
struct Injection {
  std::optional<Call> call;
  int index = 0;
  DWORD error = 0;
  bool noCreate = false;
  State oldState = State::kAbsent;
  std::wstring oldName;
  Target target = Target::kPlain;
  std::wstring targetName;
  bool linkTakenAway = false;  // the link replaced, renamed or deleted
  std::vector<HANDLE> held;
  std::array<int, kCallCount> counts{};
} injection;

bool Held(State state) {
  return state == State::kHeld || state == State::kHeldWithoutDelete;
}

bool IsLink(LPCWSTR name) {
  return injection.target == Target::kLink && name && injection.targetName == name;
}

bool HasAttribute(LPCWSTR name, DWORD attribute) {
  const DWORD attributes = ::GetFileAttributesW(name);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & attribute);
}

void Hold(const std::wstring& path, State state) {
  const DWORD share = state == State::kHeld ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
  injection.held.push_back(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
}

bool Fails(Call call) {
  const int n = injection.counts[call]++;
  if (injection.call != call || n != injection.index) return false;
  SetLastError(injection.error);
  return true;
}

HANDLE WINAPI TestCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (Fails(kCreateFile)) return INVALID_HANDLE_VALUE;
  if (injection.noCreate && (disposition == CREATE_NEW || disposition == CREATE_ALWAYS)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateFileW(name, access, share, sa, disposition, flags, templateFile);
}
BOOL WINAPI TestReadFile(HANDLE file, LPVOID data, DWORD size, LPDWORD done, LPOVERLAPPED o) {
  return !Fails(kReadFile) && ::ReadFile(file, data, size, done, o);
}
BOOL WINAPI TestWriteFile(HANDLE file, LPCVOID data, DWORD size, LPDWORD done, LPOVERLAPPED o) {
  return !Fails(kWriteFile) && ::WriteFile(file, data, size, done, o);
}
BOOL WINAPI TestSetEndOfFile(HANDLE file) {
  return !Fails(kSetEndOfFile) && ::SetEndOfFile(file);
}
BOOL WINAPI TestFlushFileBuffers(HANDLE file) {
  return !Fails(kFlushFileBuffers) && ::FlushFileBuffers(file);
}
// What each documented failure leaves behind: 1177 has moved the old file
// to the backup name, 1176 without a backup name has moved it away.
void Place(const std::wstring& path, State state);
// Windows answers 1175 where another program holds the file without delete
// sharing; Wine says 32.
bool HeldWithoutDeleteSharing(LPCWSTR name) {
  HANDLE file = ::CreateFileW(name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION;
}
void LetGo() {
  for (HANDLE file : injection.held) ::CloseHandle(file);
  injection.held.clear();
}
BOOL WINAPI TestReplaceFileW(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                             LPVOID exclude, LPVOID reserved) {
  injection.linkTakenAway |= IsLink(replaced);
  if (HeldWithoutDeleteSharing(replaced)) {
    if (injection.target == Target::kHeldForAMoment) LetGo();
    SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
    return FALSE;
  }
  if (!Fails(kReplaceFile)) {
    const State state = injection.oldState;
    if (backup && injection.oldName.empty()) {
      injection.oldName = backup;
      if (!Held(state)) Place(backup, state);
    }
    // As on Windows: a read-only backup name is not replaced.
    if (backup && HasAttribute(backup, FILE_ATTRIBUTE_READONLY)) {
      SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
      return FALSE;
    }
    const BOOL done = ::ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
    if (done && backup && Held(state) && injection.held.empty()) Hold(backup, state);
    if (done && injection.target == Target::kOpenedOnceReplaced) Hold(replaced, State::kHeld);
    return done;
  }
  const DWORD error = injection.error;
  if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
      (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT && backup == nullptr)) {
    const std::wstring away = backup ? backup : std::wstring(replaced) + L".away";
    ::MoveFileExW(replaced, away.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  SetLastError(error);
  return FALSE;
}
// Wine replaces read-only files, Windows refuses as its documentation says.
BOOL WINAPI TestMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  injection.linkTakenAway |= IsLink(from) || IsLink(to);
  if (Fails(kMoveFileEx)) return FALSE;
  if ((flags & MOVEFILE_REPLACE_EXISTING) && HasAttribute(to, FILE_ATTRIBUTE_READONLY)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::MoveFileExW(from, to, flags);
}
BOOL WINAPI TestCopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
  if (Fails(kCopyFile)) return FALSE;
  if (HasAttribute(to, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::CopyFileW(from, to, failIfExists);
}
BOOL WINAPI TestDeleteFileW(LPCWSTR name) {
  injection.linkTakenAway |= IsLink(name);
  return !Fails(kDeleteFile) && ::DeleteFileW(name);
}
// Wine shows a link as the file it leads to; Windows shows the link.
DWORD WINAPI TestGetFileAttributesW(LPCWSTR name) {
  if (Fails(kGetFileAttributes)) return INVALID_FILE_ATTRIBUTES;
  const DWORD attributes = ::GetFileAttributesW(name);
  return IsLink(name) ? attributes | FILE_ATTRIBUTE_REPARSE_POINT : attributes;
}
BOOL WINAPI TestGetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
  return !Fails(kGetFileSizeEx) && ::GetFileSizeEx(file, size);
}

class InjectedCalls {
 public:
  InjectedCalls() : saved_(fileCalls) {
    fileCalls = {&TestCreateFileW,        &TestReadFile,         &TestWriteFile,
                 &TestSetEndOfFile,       &TestFlushFileBuffers, &TestReplaceFileW,
                 &TestMoveFileExW,        &TestCopyFileW,        &TestDeleteFileW,
                 &TestGetFileAttributesW, &TestGetFileSizeEx};
  }
  ~InjectedCalls() { fileCalls = saved_; }

 private:
  FileCalls saved_;
};

std::optional<std::string> Contents(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string bytes(4096, '\0');
  DWORD read = 0;
  ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

void Put(const std::wstring& path, const std::optional<std::string>& bytes) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::DeleteFileW(path.c_str());
  ::RemoveDirectoryW(path.c_str());
  if (!bytes) return;
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  DWORD written = 0;
  ::WriteFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &written, nullptr);
  ::CloseHandle(file);
}

const std::string kOlderBackup = "older backup";

void Place(const std::wstring& path, State state) {
  if (state == State::kAbsent) return;
  if (state == State::kFolder) {
    ::CreateDirectoryW(path.c_str(), nullptr);
    return;
  }
  Put(path, kOlderBackup);
  if (state == State::kReadOnly) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
  if (state == State::kHidden) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN);
  if (Held(state)) Hold(path, state);
}

std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

const std::string kOld = "/check1.Value\r\n1\r\n";               // as this run knew the file
const std::string kUser = "/check1.Value\r\n0\r\nmy notes\r\n";  // the user's bytes
const std::string kNew = "/check1.Value\r\n2\r\n\r\n";

struct Scenario {
  const char* name;
  std::optional<std::string> before;  // default.ini before the save
  std::optional<std::string> known;   // what the run knew of it
  bool noCreate;
};
const Scenario kScenarios[] = {
    {"plain save", kOld, kOld, false},
    {"save that keeps a backup", kUser, std::nullopt, false},
    {"in-place fallback", kUser, kOld, true},
    {"save at a session end, the file edited meanwhile", kUser, kOld, false},
    {"first save", std::nullopt, std::nullopt, false},
};

class FileFailureSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    std::wstring temp(MAX_PATH + 1, L'\0');
    temp.resize(::GetTempPathW(static_cast<DWORD>(temp.size()), temp.data()));
    folder_ = temp + L"kestrune-sweep-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const std::wstring& name : Names(folder_)) Put(folder_ + L"\\" + name, std::nullopt);
    ::RemoveDirectoryW(folder_.c_str());
  }

  // One save under the injection, with the backup and the save's own old
  // name in the given states; the failures of the invariants, if any.
  std::string Run(const Scenario& scenario, State backup = State::kFile, State old = {},
                  Target target = Target::kPlain) {
    for (const std::wstring& name : Names(folder_)) Put(folder_ + L"\\" + name, std::nullopt);
    Put(TargetName(), scenario.before);
    Place(Backup(), backup);
    injection.target = target;
    injection.targetName = TargetName();
    injection.linkTakenAway = false;
    if (target == Target::kHeldForAMoment) Hold(TargetName(), State::kHeldWithoutDelete);
    const auto backupBefore = backup == State::kAbsent || backup == State::kFolder
                                  ? std::nullopt
                                  : std::optional<std::string>(kOlderBackup);
    injection.counts = {};
    injection.noCreate = scenario.noCreate;
    injection.oldState = old;
    injection.oldName.clear();
    {
      InjectedCalls calls;
      result_ = ReplaceWholeFile(TargetName(), kNew, Backup(), scenario.known);
    }
    saved_ = result_.done;
    LetGo();
    std::string broken;
    const std::optional<std::string> after = Contents(TargetName());
    // The box after a failure says the old settings remain.
    if (after != (saved_ ? std::optional<std::string>(kNew) : scenario.before))
      broken += saved_ ? " new bytes not in place;" : " old bytes not in place after a failure;";
    // Bytes neither in the file nor in the backup must be in the file the
    // result names, which the user is then told of.
    const bool usersBytes = scenario.before && scenario.before != scenario.known;
    const std::wstring& aside = result_.oldBytesAt;
    if (usersBytes && after != scenario.before && Contents(Backup()) != scenario.before &&
        !(saved_ && !aside.empty() && Contents(aside) == scenario.before))
      broken += " the user's bytes lost;";
    if (!aside.empty() && !(saved_ && Contents(aside)))
      broken += " a file named that is not there;";
    if (injection.linkTakenAway) broken += " the link replaced, renamed or deleted;";
    if (!usersBytes && Contents(Backup()) != backupBefore) broken += " the backup lost;";
    if (backup == State::kReadOnly && (Contents(Backup()) != backupBefore ||
                                       !HasAttribute(Backup().c_str(), FILE_ATTRIBUTE_READONLY)))
      broken += " a read-only backup replaced;";
    for (const std::wstring& name : Names(folder_)) {
      const std::wstring path = folder_ + L"\\" + name;
      if (path != TargetName() && path != Backup() && path != aside &&
          (old == State::kAbsent || path != injection.oldName))
        broken += " a file left behind;";
    }
    return broken;
  }

  std::wstring TargetName() const { return folder_ + L"\\default.ini"; }
  std::wstring Backup() const { return folder_ + L"\\default.ini.bak"; }

  std::wstring folder_;
  FileReplace result_;
  bool saved_ = false;
};

TEST_F(FileFailureSweep, EveryCallFailedInTurnLeavesTheSettingsIntact) {
  int failurePoints = 0;
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    injection.call.reset();
    ASSERT_EQ(Run(scenario), "");
    // Without a failure the user's bytes, and only they, become the backup.
    const bool usersBytes = scenario.before && scenario.before != scenario.known;
    EXPECT_EQ(Contents(Backup()), usersBytes ? scenario.before : kOlderBackup);
    const std::array<int, kCallCount> counts = injection.counts;
    for (int call = 0; call < kCallCount; ++call) {
      for (int index = 0; index < counts[call]; ++index) {
        for (DWORD error : kErrors[call].errors) {
          injection.call = static_cast<Call>(call);
          injection.index = index;
          injection.error = error;
          ++failurePoints;
          EXPECT_EQ(Run(scenario), "")
              << kErrors[call].name << " call " << index << " error " << error;
        }
      }
    }
  }
  injection = {};
  std::cout << "[ sweep    ] " << failurePoints << " failure points\n";
  EXPECT_GT(failurePoints, 100);
}

// The backup and the save's own old name in every state another program may
// leave or hold them in; and a refusal that clears at once is no failure.
TEST_F(FileFailureSweep, NeighboursInEveryStateLeaveTheSettingsIntact) {
  int points = 0;
  for (const Scenario* scenario : {&kScenarios[0], &kScenarios[1], &kScenarios[3]}) {
    SCOPED_TRACE(scenario->name);
    for (int i = 0; i < static_cast<int>(State::kCount); ++i) {
      const auto state = static_cast<State>(i);
      points += 2;
      EXPECT_EQ(Run(*scenario, state), "") << "backup in state " << i;
      EXPECT_EQ(Run(*scenario, State::kFile, state), "") << "old file in state " << i;
    }
    // Bytes held unreadable in the save's own old file are named.
    EXPECT_EQ(Run(*scenario, State::kFile, State::kHeld), "");
    EXPECT_EQ(result_.oldBytesAt, injection.oldName);
    // The user's bytes that neither become the backup nor go back (a
    // scanner opened the new file): the save stands and names them.
    EXPECT_EQ(Run(*scenario, State::kReadOnly, State::kAbsent, Target::kOpenedOnceReplaced), "");
    EXPECT_EQ(result_.oldBytesAt.empty(), scenario->before == scenario->known);
    // A sync client holding the file for a moment; a link written through.
    for (Target target : {Target::kHeldForAMoment, Target::kLink}) {
      EXPECT_EQ(Run(*scenario, State::kFile, State::kAbsent, target), "") << int(target);
      EXPECT_TRUE(saved_) << int(target);
    }
    for (Call call : {kReplaceFile, kMoveFileEx, kDeleteFile}) {
      injection.call = call;
      injection.index = 0;
      injection.error = ERROR_SHARING_VIOLATION;
      ++points;
      EXPECT_EQ(Run(*scenario), "") << kErrors[call].name;
      EXPECT_TRUE(saved_) << kErrors[call].name << " refused once";
    }
    injection = {};
    points += 4;
  }
  std::cout << "[ sweep    ] " << points << " neighbour points\n";
}

}  // namespace
}  // namespace kestrune::win32
