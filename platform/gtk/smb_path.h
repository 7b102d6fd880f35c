// Network paths in the Windows form and the desktop's URIs for them (GIO); Linux platform code,
// pure.
#pragma once

#include <optional>
#include <string>

// The URI that mounts a network path: "\\NAS" -> "smb://NAS/", "\\NAS\share\folder" ->
// "smb://NAS/share/folder", each part percent-encoded; nothing for a path that does not start
// with two (back)slashes and a host.
std::optional<std::string> SmbUriFromNetworkPath(const std::string& strPath);

// The folder a chosen URI names, in the form the program keeps: "smb://HOST/share/folder"
// (percent-decoded, without user or port) -> "\\HOST\share\folder"; a local folder
// ("file:///home/a%20b") -> its local path ("/home/a b"). Nothing for any other URI, or for one
// whose names cannot be written that way (a slash or backslash inside a name, a NUL).
std::optional<std::string> FolderPathFromUri(const std::string& strUri);
