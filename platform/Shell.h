#pragma once
#include "platform/Text.h"

namespace vx {

// The current user's documents folder (CSIDL_PERSONAL), without a trailing
// separator; empty when the shell cannot tell.
WStr DocumentsFolder();
// Overrides the documents folder (tests, vxprofile --store); empty restores.
void SetDocumentsFolderOverride(WView folder);

// Folder of the running executable, with a trailing backslash.
WStr ExecutableFolder();
void SetExecutableFolderOverride(WView folder);

}  // namespace vx
