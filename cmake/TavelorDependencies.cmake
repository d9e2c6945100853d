# The runtime's system libraries, found through pkg-config. Shared by the build tree and
# by the installed package (TavelorConfig.cmake includes this file again).
include(CMakeFindDependencyMacro)
find_package(PkgConfig REQUIRED)
find_package(OpenGL REQUIRED COMPONENTS OpenGL)
find_package(Threads REQUIRED)
pkg_check_modules(TAVELOR_SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(TAVELOR_SDL2_MIXER REQUIRED IMPORTED_TARGET SDL2_mixer)
pkg_check_modules(TAVELOR_SDL2_IMAGE REQUIRED IMPORTED_TARGET SDL2_image)
pkg_check_modules(TAVELOR_ASSIMP REQUIRED IMPORTED_TARGET assimp)
pkg_check_modules(TAVELOR_LZO REQUIRED IMPORTED_TARGET lzo2)
pkg_check_modules(TAVELOR_FFMPEG REQUIRED IMPORTED_TARGET
  libavformat libavcodec libswscale libswresample libavutil)
