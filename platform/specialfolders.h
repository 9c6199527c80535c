// The folders the system names: the preferences folder and the volumes.
#pragma once

#include <cstdint>

#include "platform/folderitem.h"

namespace platform {

// The user's preferences folder: $XDG_CONFIG_HOME, else ~/.config (made when
// missing, where it can be).
Ref<FolderItem> PreferencesFolder();
// Volume 0 is the root folder; there is no other.
Ref<FolderItem> Volume(int32_t index);

}  // namespace platform
