// The synthesiser's data: where it lies, and whether it is whole.
// See LICENSE.
#ifndef ORASAY_ENGINE_DATA_H
#define ORASAY_ENGINE_DATA_H

#include <string>

namespace orasay::engine {

// The name of the manifest file inside a data directory.
constexpr const char *manifest_name = "orasay-manifest";

// Writes the manifest of the data directory: one line per regular file
// below it (the manifest itself excepted), in name order, giving its size,
// a 64-bit FNV-1a hash of its bytes and its path relative to `dir` with '/'
// separators, and a closing line "end" and the number of files.  False when
// a file cannot be read or the manifest written.
bool write_manifest(const std::string &dir);

// Whether the directory holds the data its manifest lists and nothing else
// that the synthesiser would read: the manifest is complete (up to its
// closing line), every file it lists is there with its size and hash, and
// the directories voices and lang, which the synthesiser searches for
// voices, hold no file it does not list.  False without a manifest.
bool data_is_whole(const std::string &dir);

}  // namespace orasay::engine

#endif  // ORASAY_ENGINE_DATA_H
