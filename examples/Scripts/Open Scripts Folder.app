#!/bin/sh
# An "application" on this platform is any executable: the palette starts
# it directly. This one only says it ran.
echo "Open Scripts Folder.app ran" >&2
