// Names and removal of the scan data files in the scan folder. Removal is limited to regular
// files directly inside that folder, since the names come from the client.
#pragma once

#include <set>
#include <string>
#include <sys/types.h>

// "<folder>/vornscandata_<pid>_<index>": the base name of one scan's page files.
std::string vorn_ScanBaseName(const std::string& scanFolder, int pid, int index);
// "<base>_<page>.tmp"
std::string vorn_PageFileName(const std::string& baseName, int page);

// Removes the page files "<base>_<digits>.tmp" of one scan; base is the name the start reply
// gave, with or without the folder. 0, or -1 when the folder cannot be opened.
int deleteFileList(const std::string& scanFolder, const char* baseName);

// Removes fileName when it is a regular file directly inside the scan folder; anything else is
// refused and logged. A missing file is no error.
void vorn_DeleteScanFile(const std::string& scanFolder, const char* fileName);

// Creates the scan folder when missing and checks it: a real folder (no link), owned by this
// process's user and writable by nobody else, since the daemon creates and removes files in it
// as root. False with the reason in problem otherwise.
bool vorn_PrepareScanFolder(const std::string& scanFolder, std::string& problem);

// Removes the page files of every connection process not in liveConnections (of a daemon that
// stopped, or a connection that ended without cleaning up). 0, or -1 when the folder cannot be opened.
int vorn_RemoveOrphanPages(const std::string& scanFolder, const std::set<pid_t>& liveConnections);
// Removes every page file of one connection process.
int vorn_RemoveConnectionPages(const std::string& scanFolder, pid_t connection);
