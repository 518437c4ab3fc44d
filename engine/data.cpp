// The synthesiser's data: where it lies, and whether it is whole.
// See LICENSE.
#include "data.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#endif

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace orasay::engine {

namespace {

namespace fs = std::filesystem;

// Size and hash of a file's bytes; false when it cannot be read.  The hash
// is FNV-1a taken eight bytes at a time in host order (little-endian on
// every platform we build for), the last bytes one at a time: quick enough
// to check the data at every start.  The path is opened as the synthesiser
// opens its files, as bytes (in the ANSI code page on Windows).
bool fingerprint(const std::string &path, std::uintmax_t *size,
                 std::uint64_t *hash) {
  std::FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  constexpr std::uint64_t prime = 0x100000001b3u;
  std::uint64_t h = 0xcbf29ce484222325u;
  std::uintmax_t n = 0;
  unsigned char buffer[16384];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
    std::size_t i = 0;
    for (; i + 8 <= got; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, buffer + i, 8);
      h = (h ^ word) * prime;
    }
    for (; i < got; ++i) h = (h ^ buffer[i]) * prime;
    n += got;
  }
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  *size = n;
  *hash = h;
  return ok;
}

// Whether every file below dir/sub that the synthesiser would find as it
// searches for voices is listed (by its name relative to dir, with '/').
// It passes over names that begin with '.', and so does this; it reads
// whatever else it finds, so anything but a directory counts as a file
// here (a symbolic link, too, and is not followed).  True when dir/sub does
// not exist.
bool only_listed(const std::string &dir, const std::string &sub,
                 const std::set<std::string> &listed) {
  bool ok = true;
#if defined(_WIN32)
  // Listed as the synthesiser lists it, with the ANSI functions.
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA((dir + "/" + sub + "/*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND;
  do {
    if (found.cFileName[0] == '.') continue;
    const std::string name = sub + "/" + found.cFileName;
    const DWORD kind = found.dwFileAttributes;
    if ((kind & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (kind & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
      ok = only_listed(dir, name, listed);
    else
      ok = listed.count(name) != 0;
  } while (ok && FindNextFileA(find, &found));
  FindClose(find);
#else
  DIR *d = opendir((dir + "/" + sub).c_str());
  if (d == nullptr) return errno == ENOENT;
  while (const dirent *entry = readdir(d)) {
    if (entry->d_name[0] == '.') continue;
    const std::string name = sub + "/" + entry->d_name;
    struct stat st {};
    if (lstat((dir + "/" + name).c_str(), &st) != 0)
      ok = false;
    else if (S_ISDIR(st.st_mode))
      ok = only_listed(dir, name, listed);
    else
      ok = listed.count(name) != 0;
    if (!ok) break;
  }
  closedir(d);
#endif
  return ok;
}

}  // namespace

bool write_manifest(const std::string &dir) {
  std::error_code error;
  std::vector<std::string> names;
  for (fs::recursive_directory_iterator it(dir, error), end;
       !error && it != end; it.increment(error)) {
    if (!it->is_regular_file()) continue;
    const std::string name =
        it->path().lexically_relative(dir).generic_string();
    if (name != manifest_name) names.push_back(name);
  }
  if (error) return false;
  std::sort(names.begin(), names.end());
  std::ostringstream manifest;
  for (const std::string &name : names) {
    std::uintmax_t size = 0;
    std::uint64_t hash = 0;
    if (!fingerprint(dir + "/" + name, &size, &hash)) return false;
    char line[64];
    std::snprintf(line, sizeof line, "%ju %016" PRIx64 " ", size, hash);
    manifest << line << name << '\n';
  }
  manifest << "end " << names.size() << '\n';
  std::ofstream out(fs::path(dir) / manifest_name, std::ios::binary);
  out << manifest.str();
  out.close();
  return static_cast<bool>(out);
}

bool data_is_whole(const std::string &dir) {
  std::ifstream in(dir + "/" + manifest_name, std::ios::binary);
  std::string line;
  std::set<std::string> listed;
  std::size_t files = 0;
  bool ended = false;
  while (std::getline(in, line)) {
    if (ended) return false;  // nothing may follow the closing line
    if (line.rfind("end ", 0) == 0) {
      ended = line == "end " + std::to_string(files);
      if (!ended) return false;
      continue;
    }
    std::uintmax_t size = 0, actual_size = 0;
    std::uint64_t hash = 0, actual_hash = 0;
    int name_at = 0;
    if (std::sscanf(line.c_str(), "%ju %" SCNx64 " %n", &size, &hash,
                    &name_at) != 2 ||
        name_at == 0 || std::size_t(name_at) >= line.size())
      return false;
    const std::string name = line.substr(std::size_t(name_at));
    if (!fingerprint(dir + "/" + name, &actual_size, &actual_hash) ||
        actual_size != size || actual_hash != hash)
      return false;
    listed.insert(name);
    ++files;
  }
  return ended && files > 0 && !in.bad() &&
         only_listed(dir, "voices", listed) && only_listed(dir, "lang", listed);
}

}  // namespace orasay::engine
