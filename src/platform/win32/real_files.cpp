#include "platform/win32/real_files.h"

#include <algorithm>

namespace kestrune::win32 {
namespace {

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
  HANDLE file = CreateFileW(SystemPath(path).c_str(), access, share, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

DWORD AttributesOf(const std::wstring& path) {
  return GetFileAttributesW(SystemPath(path).c_str());
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

// A new file beside target, named after it. Its name is returned in name;
// error tells why none could be created.
unique_handle CreateTemporaryBeside(const std::wstring& target, std::wstring& name, DWORD& error) {
  constexpr int kAttempts = 64;
  const DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 12);
  for (DWORD attempt = 0; attempt < kAttempts; ++attempt) {
    // Hex digits of our own: the wide printf family would add about 24 KB.
    const DWORD unique = seed + attempt;
    name = target + L"." + Hex4(unique >> 16) + Hex4(unique) + L".tmp";
    if (unique_handle file{OpenFileW(name, GENERIC_WRITE, 0, CREATE_NEW)}) return file;
    error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  return unique_handle{};
}

bool WriteToDisk(HANDLE file, const std::string& bytes) {
  return WriteAll(file, bytes) && SetEndOfFile(file) && FlushFileBuffers(file);
}

// The last resort where the folder lets the file be written but no file be
// created: the backup can only go over an existing one, the bytes over the
// file's own.
bool WriteInPlace(const std::wstring& target, const std::wstring& backup,
                  const std::string& bytes) {
  if (!backup.empty() && !CopyFileW(SystemPath(target).c_str(), SystemPath(backup).c_str(), FALSE))
    return false;
  unique_handle file(OpenFileW(target, GENERIC_WRITE, 0, OPEN_EXISTING));
  return file && WriteToDisk(file.get(), bytes);
}

// Puts the written temporary file in the target's place. ReplaceFileW keeps
// the old file under the backup name in the same step, and the old file's
// attributes and security on the new one.
bool MoveIntoPlace(const std::wstring& temporary, const std::wstring& target,
                   const std::wstring& backup, bool targetExists) {
  const std::wstring to = SystemPath(target);
  const std::wstring from = SystemPath(temporary);
  if (!targetExists) return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
  const std::wstring keep = backup.empty() ? std::wstring() : SystemPath(backup);
  if (ReplaceFileW(to.c_str(), from.c_str(), keep.empty() ? nullptr : keep.c_str(),
                   REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
    return true;
  const DWORD error = GetLastError();
  if (error != ERROR_UNABLE_TO_MOVE_REPLACEMENT && error != ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    return false;
  // The old file has left its place: put the new one there, else the old back.
  if (AttributesOf(target) != INVALID_FILE_ATTRIBUTES) return false;
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) return true;
  if (!keep.empty()) MoveFileExW(keep.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
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

std::optional<std::string> ReadWholeFile(const std::wstring& path, size_t maxBytes) {
  unique_handle file(OpenFileW(
      path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING));
  LARGE_INTEGER size{};
  if (!file || !GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > maxBytes)
    return std::nullopt;
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) return std::nullopt;
    if (read == 0) break;  // the file shrank meanwhile
    done += read;
  }
  bytes.resize(done);
  return bytes;
}

bool ReplaceWholeFile(const std::wstring& target, const std::string& bytes,
                      const std::wstring& backup) {
  const DWORD attributes = AttributesOf(target);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  // Read-only is the user's word; a move over the file would also drop it.
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return false;
  std::wstring temporary;
  DWORD error = ERROR_SUCCESS;
  unique_handle file = CreateTemporaryBeside(target, temporary, error);
  if (!file) return exists && error == ERROR_ACCESS_DENIED && WriteInPlace(target, backup, bytes);
  scope_exit removeTemporary([&] { DeleteFileW(SystemPath(temporary).c_str()); });
  const bool written = WriteToDisk(file.get(), bytes);
  file.reset();
  if (!written || !MoveIntoPlace(temporary, target, backup, exists)) return false;
  removeTemporary.dismiss();
  return true;
}

}  // namespace kestrune::win32
