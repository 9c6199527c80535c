// The list's peer: a tree view on the window's content area.
#pragma once

#include <memory>

#include "platform/display.h"

namespace platform {
class Listbox;
}

namespace platform::qt {

class QtWindowPeer;

std::unique_ptr<ListboxPeer> MakeListboxPeer(QtWindowPeer& parent, Listbox& model);

}  // namespace platform::qt
