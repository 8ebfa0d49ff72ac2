#pragma once
// Finding, on this machine, a file that a stack names by a Windows path ("C:\Art\Sky.bmp"),
// a Macintosh path ("Disk:Art:Sky") or a bare name. Stacks travel between machines, so the
// stored folders rarely exist here: the name is looked up, with the folders nearest to it,
// in the stack's own folder and the program's media folders, comparing names without regard
// to case.
#include <optional>
#include <string>
#include <vector>

namespace cv {

// The components of a stored path (Windows-1252), without drive or volume.
std::vector<std::string> storedPathComponents(const std::string& stored);

// The file a stored path names, searched in `folders` (UTF-8 paths) in order; for each folder,
// the longest tail of the stored path that exists there wins. A name found in a folder never
// leads out of it: ".." is not followed, nor a link to a place outside the folder. An absolute
// path of this machine is taken as it is when it lies in one of the folders, or anywhere with
// `AbsolutePaths::Anywhere` (what an action list plays, opens or starts, whose bytes reach no
// script). Returns a UTF-8 path, or nullopt.
enum class AbsolutePaths { InFolders, Anywhere };
std::optional<std::string> resolveHostPath(const std::string& stored, const std::vector<std::string>& folders,
                                           AbsolutePaths absolute = AbsolutePaths::InFolders);

// The entry of `folder` whose name equals `name` (UTF-8) ignoring case, or nullopt.
std::optional<std::string> findNoCase(const std::string& folder, const std::string& name);

// True when `path` (after links) lies in `folder` (after links).
bool PathInside(const std::string& folder, const std::string& path);

} // namespace cv
