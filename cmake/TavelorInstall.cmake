# Where the parts install and which Debian package each belongs to (see TavelorPackaging.cmake).
# An install rule without a COMPONENT belongs to the SDK (headers, library, tools); the game's
# rules name COMPONENT game.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME sdk)
# The runtime loads a game's media from the program's own folder, so Hollerquast and its media
# install into one folder. The Debian package puts them under lib/games/hollerquast with a link
# in games/ (scripts/package.sh).
set(TAVELOR_GAME_DIR ${CMAKE_INSTALL_BINDIR} CACHE STRING "Folder, under the prefix, of Hollerquast and its media")
set(TAVELOR_GAME_LINK_DIR "" CACHE STRING "Folder, under the prefix, for a link to the game (empty: none)")
# The SDK's shared files: the default font and the starter project.
set(TAVELOR_DATA_DIR ${CMAKE_INSTALL_DATADIR}/tavelor)
