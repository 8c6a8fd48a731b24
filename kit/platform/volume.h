#pragma once
// What the file system holding an item does with letter case in names.

#include <filesystem>

namespace veltrop::platform {

// Whether names that differ only in letter case are different items in this
// folder (for a file: in the folder holding it). FAT, exFAT, NTFS and SMB
// volumes and case-folding ext4/f2fs folders are not case-sensitive; a
// failed query counts as not case-sensitive either.
bool isCaseSensitive(const std::filesystem::path& existingFolderOrFile);

// The same for an open folder (a descriptor), without looking up its path.
bool isFolderCaseSensitive(int openFolder);

}  // namespace veltrop::platform
