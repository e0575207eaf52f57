// The dos library: the scripts' file system. File handles with big-endian
// I/O (runtime/dosfiles.h), directory scans, file information and dates,
// recursive copy and delete with progress callbacks, other programs, pack
// files, serialised tables and functions, and virtual files. The commands
// live in doslib.cpp (handles), dospaths.cpp (names, directories, programs)
// and dostree.cpp (copy and delete).
#pragma once

#include <cstdint>

struct vkState;
struct vkCommandDef;

extern const vkCommandDef kDosCommands[];

// Registers the "dos" commands into the table on top of the stack, the
// library and its constants; 0 or 1000.
int OpenDOSLibrary(vkState* L);

int CountDirectoryHandles(vkState* L);
// Shutdown: closes every file handle, deletes every temporary file the
// library made, ends every directory scan.
void CloseAllDosObjects(vkState* L);
