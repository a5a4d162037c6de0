#include "platform/win32/real_files.h"

#include <algorithm>

namespace kestrune::win32 {

FileCalls fileCalls = {
    &::CreateFileW,      &::ReadFile,           &::WriteFile,     &::SetEndOfFile,
    &::FlushFileBuffers, &::ReplaceFileW,       &::MoveFileExW,   &::CopyFileW,
    &::DeleteFileW,      &::GetFileAttributesW, &::GetFileSizeEx,
};

namespace {

using ReadOutcome = WindowRuntime::ReadOutcome;
using FileRead = WindowRuntime::FileRead;

constexpr size_t kChunk = 1u << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A scanner or sync client opens a file for a moment after it is written or
// renamed: what it refuses is tried again over about a second.
constexpr int kTries = 5;
constexpr DWORD kRetryPauseMs = 250;
// The in-place write keeps the old bytes in memory to put them back.
constexpr size_t kMaxInPlaceBytes = 1u << 26;

// A path as the file functions take it at any length: beyond MAX_PATH only
// the extended form, which the system takes as it is, reaches the file.
std::wstring SystemPath(const std::wstring& path) {
  constexpr std::wstring_view kExtended = L"\\\\?\\";
  if (path.size() < MAX_PATH || path.starts_with(kExtended)) return path;
  std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD length =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  if (full.starts_with(L"\\\\")) return std::wstring(kExtended) + L"UNC" + full.substr(1);
  return std::wstring(kExtended) + full;
}

HANDLE OpenFileW(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE file = fileCalls.CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

DWORD AttributesOf(const std::wstring& path) {
  return fileCalls.GetFileAttributesW(SystemPath(path).c_str());
}

bool IsNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool IsPassing(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
         error == ERROR_ACCESS_DENIED;
}

// What ReplaceFileW answers where another program holds the file without
// delete sharing (Windows: 1175, Wine: 32); 1175 and 1176 with a backup
// name leave every file under its own name, so they may pass as well.
bool ReplaceMayPass(DWORD error) {
  return IsPassing(error) || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
         error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

// After a failed call: whether to try it again, after a pause. A refusal
// that may pass, or with anyFailure any failure, gets up to kTries in all.
bool TryAgain(int& tries, bool anyFailure = false) {
  if (++tries == kTries || !(anyFailure || IsPassing(GetLastError()))) return false;
  Sleep(kRetryPauseMs);
  return true;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
    DWORD written = 0;
    if (!fileCalls.WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

FileRead ReadAll(HANDLE file, size_t maxBytes) {
  LARGE_INTEGER size{};
  if (!fileCalls.GetFileSizeEx(file, &size)) return {ReadOutcome::Unreadable, {}};
  if (static_cast<uint64_t>(size.QuadPart) > maxBytes) return {ReadOutcome::TooLarge, {}};
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, kChunk));
    DWORD read = 0;
    if (!fileCalls.ReadFile(file, bytes.data() + done, chunk, &read, nullptr))
      return {ReadOutcome::Unreadable, {}};
    if (read == 0) break;  // the file shrank meanwhile
    done += read;
  }
  bytes.resize(done);
  return {ReadOutcome::Read, std::move(bytes)};
}

// A new file beside target, named after it. Its name is returned
// in name; error tells why none could be created.
unique_handle CreateTemporaryBeside(const std::wstring& target, std::wstring& name, DWORD& error) {
  constexpr int kAttempts = 64;
  const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 12);
  for (DWORD attempt = 0; attempt < kAttempts; ++attempt) {
    const DWORD unique = seed + attempt;
    name = target + L"." + Hex4(unique >> 16) + Hex4(unique) + L".tmp";
    if (unique_handle file{OpenFileW(name, GENERIC_WRITE, 0, CREATE_NEW)}) return file;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return unique_handle{};
}

bool WriteToDisk(HANDLE file, const std::string& bytes) {
  return WriteAll(file, bytes) && fileCalls.SetEndOfFile(file) && fileCalls.FlushFileBuffers(file);
}

bool WriteOver(const std::wstring& path, const std::string& bytes) {
  unique_handle file(OpenFileW(path, GENERIC_WRITE, 0, OPEN_EXISTING));
  return file && WriteToDisk(file.get(), bytes);
}

bool Flush(const std::wstring& path) {
  unique_handle file(OpenFileW(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING));
  return file && fileCalls.FlushFileBuffers(file.get());
}

bool Move(const std::wstring& from, const std::wstring& to, DWORD flags = 0) {
  const std::wstring source = SystemPath(from), destination = SystemPath(to);
  for (int tries = 0;;) {
    if (fileCalls.MoveFileExW(source.c_str(), destination.c_str(), flags | MOVEFILE_WRITE_THROUGH))
      return true;
    if (!TryAgain(tries)) return false;
  }
}

bool Copy(const std::wstring& from, const std::wstring& to) {
  return fileCalls.CopyFileW(SystemPath(from).c_str(), SystemPath(to).c_str(), FALSE);
}

// A file of our own: a refused delete is tried once more at least, and over
// about a second when another program holds it. One that stays is left.
void Remove(const std::wstring& path) {
  const std::wstring name = SystemPath(path);
  for (int tries = 0; !fileCalls.DeleteFileW(name.c_str()) && TryAgain(tries, tries == 0);) {
  }
}

// Read-only is the user's word for the backup too; a folder is no backup.
bool BackupMayBeReplaced(const std::wstring& backup) {
  const DWORD attributes = AttributesOf(backup);
  if (attributes == INVALID_FILE_ATTRIBUTES) return IsNotFound(GetLastError());
  return !(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

// For a link, and as the last resort where the folder lets the file be
// written but no file be created (the backup can then only go over an
// existing one): the bytes go over the file's own, after the backup rule.
// The old bytes go back when the new ones cannot be written.
bool WriteInPlace(const std::wstring& target, const std::wstring& backup, const std::string& bytes,
                  const std::optional<std::string>& knownOld) {
  const FileRead old = ReadWholeFile(target, kMaxInPlaceBytes);
  if (old.outcome != ReadOutcome::Read) return false;
  if (old.bytes != knownOld && !backup.empty() &&
      !(BackupMayBeReplaced(backup) && Copy(target, backup) && Flush(backup)))
    return false;
  if (WriteOver(target, bytes)) return true;
  WriteOver(target, old.bytes);
  return false;
}

enum class Owner { Program, User, Unknown };

// Whose the old bytes are: the program's only when they are the ones this
// run knew. A failed read is tried again, as another program may hold the
// file for a moment.
Owner OwnerOfOld(const std::wstring& old, const std::optional<std::string>& knownOld) {
  if (!knownOld) return Owner::User;
  for (int tries = 0;;) {
    unique_handle file(OpenFileW(old, GENERIC_READ, kShareAll, OPEN_EXISTING));
    const FileRead read =
        file ? ReadAll(file.get(), knownOld->size()) : FileRead{ReadOutcome::Unreadable, {}};
    if (read.outcome == ReadOutcome::TooLarge) return Owner::User;
    if (read.outcome == ReadOutcome::Read)
      return read.bytes == *knownOld ? Owner::Program : Owner::User;
    if (!TryAgain(tries, true)) return Owner::Unknown;
  }
}

bool KeepAsBackup(const std::wstring& old, const std::wstring& backup) {
  if (!BackupMayBeReplaced(backup)) return false;
  if (Move(old, backup, MOVEFILE_REPLACE_EXISTING)) return true;
  if (!Copy(old, backup)) return false;
  Remove(old);
  return true;
}

// After the new bytes are in place, the old ones, kept under our own name:
// the program's own go, anything else (an editor's save just before the
// replace included) becomes the backup, or goes back in place and the save
// fails. Bytes that cannot be read, or go neither way, stay where they
// are, and the result names them: better a stray file than lost bytes, and
// the user must learn where they are.
FileReplace SettleOld(const std::wstring& old, const std::wstring& target,
                      const std::wstring& backup, const std::optional<std::string>& knownOld) {
  const Owner owner = backup.empty() ? Owner::Program : OwnerOfOld(old, knownOld);
  if (owner == Owner::Program) Remove(old);
  if (owner == Owner::Program || (owner == Owner::User && KeepAsBackup(old, backup)))
    return {true, {}};
  if (owner == Owner::User && Move(old, target, MOVEFILE_REPLACE_EXISTING)) return {};
  return {true, old};
}

// Puts the written temporary file in the target's place; ReplaceFileW keeps
// the old file under keep in the same step, and the old file's attributes
// and security on the new one. Its failures 1176 (without a keep name) and
// 1177 leave the old file moved away and the new one beside: the new one is
// put in place, else the old one back. Neither move replaces a file, so
// where the old file never left both fail and change nothing.
bool PutInPlace(const std::wstring& temporary, const std::wstring& target,
                const std::wstring& keep) {
  const std::wstring replaced = SystemPath(target), replacement = SystemPath(temporary),
                     backup = SystemPath(keep);
  for (int tries = 0;;) {
    if (fileCalls.ReplaceFileW(replaced.c_str(), replacement.c_str(), backup.c_str(),
                               REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
      return true;
    if (!TryAgain(tries, ReplaceMayPass(GetLastError()))) break;
  }
  if (Move(temporary, target)) return true;
  Move(keep, target);
  return false;
}

}  // namespace

bool NormalFileExists(const std::wstring& path) {
  // A normal file: folders, hidden and system files do not count.
  constexpr DWORD kNotNormal =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  const DWORD attributes = AttributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & kNotNormal);
}

FileRead ReadWholeFile(const std::wstring& path, size_t maxBytes) {
  unique_handle file(OpenFileW(
      path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING));
  if (file) return ReadAll(file.get(), maxBytes);
  if (IsNotFound(GetLastError())) return {ReadOutcome::Missing, {}};
  // A folder at the path is no file either: nothing to read, nor to keep.
  const DWORD attributes = AttributesOf(path);
  const bool folder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  return {folder ? ReadOutcome::Missing : ReadOutcome::Unreadable, {}};
}

FileReplace ReplaceWholeFile(const std::wstring& target, const std::string& bytes,
                             const std::wstring& backup,
                             const std::optional<std::string>& knownOld) {
  // Hidden and system files count; where the answer is unclear, nothing
  // is touched.
  const DWORD attributes = AttributesOf(target);
  if (attributes == INVALID_FILE_ATTRIBUTES && !IsNotFound(GetLastError())) return {};
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Read-only is the user's word; a move over the file would also drop it.
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return {};
  // A link (to a synced settings folder, say) stays a link, and its target
  // where the user keeps it: a replace or a rename would take its place.
  if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return {WriteInPlace(target, backup, bytes, knownOld), {}};
  std::wstring temporary;
  DWORD error = ERROR_SUCCESS;
  unique_handle file = CreateTemporaryBeside(target, temporary, error);
  if (!file)
    return {exists && error == ERROR_ACCESS_DENIED && WriteInPlace(target, backup, bytes, knownOld),
            {}};
  scope_exit removeTemporary([&] { Remove(temporary); });
  const bool written = WriteToDisk(file.get(), bytes);
  file.reset();
  if (!written) return {};
  // The old bytes always go to a name of our own first, never straight over
  // the backup: that one is replaced only once they are known to be the
  // user's, and only where it may be.
  const std::wstring keep = temporary.substr(0, temporary.size() - 4) + L".old";
  if (exists ? !PutInPlace(temporary, target, keep) : !Move(temporary, target)) return {};
  removeTemporary.dismiss();
  return exists ? SettleOld(keep, target, backup, knownOld) : FileReplace{true, {}};
}

}  // namespace kestrune::win32
