# What the SDK installs besides the library (pkg-config file, starter project, documents) and
# the Debian packages made from the install rules by CPack (scripts/package.sh):
#   tavelor-sdk  component sdk: headers, library, CMake and pkg-config files, tools, default
#                font, starter project, documents
#   hollerquast  component game: the game and its media
set(TAVELOR_DEB_CONTACT "Tavelor developers <tavelor@example.org>")

# ---- pkg-config ---------------------------------------------------------------------------------
# Every pkg-config module found in TavelorDependencies.cmake under a TAVELOR_ prefix is required
# by tavelor.pc, since the library is static (a module that only a tool links takes another
# prefix); OpenGL comes as module gl.
get_cmake_property(tavelor_cache_vars CACHE_VARIABLES)
set(TAVELOR_PKG_MODULES)
foreach(var IN LISTS tavelor_cache_vars)
  if(var MATCHES "^TAVELOR_.*_MODULE_NAME$")
    list(APPEND TAVELOR_PKG_MODULES "$CACHE{${var}}")
  endif()
endforeach()
list(APPEND TAVELOR_PKG_MODULES gl)
list(REMOVE_DUPLICATES TAVELOR_PKG_MODULES)
list(REMOVE_ITEM TAVELOR_PKG_MODULES "")  # a cache entry left empty names no module
list(JOIN TAVELOR_PKG_MODULES " " TAVELOR_PC_REQUIRES)
set(TAVELOR_PC_DL "")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND TAVELOR_PC_DL " -l${lib}")
endforeach()
string(STRIP "${TAVELOR_PC_DL}" TAVELOR_PC_DL)
file(RELATIVE_PATH TAVELOR_PC_UP /p/${CMAKE_INSTALL_LIBDIR}/pkgconfig /p)
string(REGEX REPLACE "/$" "" TAVELOR_PC_UP "${TAVELOR_PC_UP}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tavelor.pc.in ${PROJECT_BINARY_DIR}/tavelor.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tavelor.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT sdk)

# ---- Starter project and documents ------------------------------------------------------------
set(template ${PROJECT_SOURCE_DIR}/examples/template)
install(FILES ${template}/CMakeLists.txt ${template}/main.cpp ${template}/README.md
        DESTINATION ${TAVELOR_DATA_DIR}/template COMPONENT sdk)
set(TAVELOR_DOC_ROOT ${CMAKE_INSTALL_DATADIR}/doc)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/commands.md
              ${PROJECT_SOURCE_DIR}/docs/port-notes.md
        DESTINATION ${TAVELOR_DOC_ROOT}/tavelor-sdk COMPONENT sdk)

# Manual pages, compressed as Debian installs them: section 1 for the SDK's tools, 6 for the game.
find_program(TAVELOR_GZIP gzip)
function(tavelor_install_man page component)
  get_filename_component(name ${page} NAME)
  string(REGEX REPLACE ".*\\." "" section ${name})
  set(dir ${PROJECT_BINARY_DIR}/man)
  file(MAKE_DIRECTORY ${dir})
  if(TAVELOR_GZIP)
    execute_process(COMMAND ${TAVELOR_GZIP} -9nc ${page} OUTPUT_FILE ${dir}/${name}.gz)
    set(name ${name}.gz)
  else()
    configure_file(${page} ${dir}/${name} COPYONLY)
  endif()
  install(FILES ${dir}/${name} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()
tavelor_install_man(${PROJECT_SOURCE_DIR}/docs/man/tavelor-pack.1 sdk)
if(TAVELOR_BUILD_GAME)
  tavelor_install_man(${PROJECT_SOURCE_DIR}/docs/man/hollerquast.6 game)
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/docs/man/tavelor-pack.1 ${PROJECT_SOURCE_DIR}/docs/man/hollerquast.6)

# Each package carries its copyright file and a compressed changelog, as Debian requires.
string(TIMESTAMP TAVELOR_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(CPACK_PACKAGE_CONTACT "${TAVELOR_DEB_CONTACT}")
foreach(TAVELOR_DEB_PACKAGE tavelor-sdk hollerquast)
  set(component sdk)
  if(TAVELOR_DEB_PACKAGE STREQUAL "hollerquast")
    set(component game)
    if(NOT TAVELOR_BUILD_GAME)
      continue()
    endif()
  endif()
  set(dir ${PROJECT_BINARY_DIR}/debian/${TAVELOR_DEB_PACKAGE})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${dir}/changelog @ONLY)
  set(docs ${CMAKE_CURRENT_LIST_DIR}/debian/copyright)
  if(TAVELOR_GZIP)
    execute_process(COMMAND ${TAVELOR_GZIP} -9nf ${dir}/changelog)
    list(APPEND docs ${dir}/changelog.gz)
  endif()
  install(FILES ${docs} DESTINATION ${TAVELOR_DOC_ROOT}/${TAVELOR_DEB_PACKAGE} COMPONENT ${component})
endforeach()

# ---- Debian packages --------------------------------------------------------------------------
# The SDK depends on the Debian packages that own the pkg-config modules above and the files
# below (the -dev packages a game build needs), found with dpkg -S; more dependencies that no
# file names go into TAVELOR_DEB_SDK_EXTRA_DEPENDS. Libraries the packaged programs link are
# found by dpkg-shlibdeps (CPACK_DEBIAN_PACKAGE_SHLIBDEPS).
set(TAVELOR_DEB_SDK_FILES "${OPENGL_opengl_LIBRARY}" "${OPENGL_INCLUDE_DIR}/GL/gl.h")
set(TAVELOR_DEB_SDK_EXTRA_DEPENDS "pkgconf | pkg-config" "libc6-dev | libc-dev")
find_program(TAVELOR_DPKG dpkg)
find_program(TAVELOR_PKG_CONFIG NAMES pkg-config pkgconf)
set(TAVELOR_DEB_SDK_DEPENDS ${TAVELOR_DEB_SDK_EXTRA_DEPENDS})
if(TAVELOR_DPKG AND TAVELOR_PKG_CONFIG)
  set(owned_files ${TAVELOR_DEB_SDK_FILES})
  foreach(module IN LISTS TAVELOR_PKG_MODULES)
    execute_process(COMMAND ${TAVELOR_PKG_CONFIG} --variable=pcfiledir ${module}
                    OUTPUT_VARIABLE pcdir OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(NOT failed)
      list(APPEND owned_files ${pcdir}/${module}.pc)
    endif()
  endforeach()
  foreach(file IN LISTS owned_files)
    if(NOT file)
      continue()
    endif()
    execute_process(COMMAND ${TAVELOR_DPKG} -S ${file} OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
    if(failed OR NOT owner MATCHES "^([^:, ]+)")
      message(WARNING "No Debian package owns ${file}: the SDK package will not depend on it")
      continue()
    endif()
    list(APPEND TAVELOR_DEB_SDK_DEPENDS ${CMAKE_MATCH_1})
  endforeach()
endif()
list(REMOVE_DUPLICATES TAVELOR_DEB_SDK_DEPENDS)
list(JOIN TAVELOR_DEB_SDK_DEPENDS ", " CPACK_DEBIAN_SDK_PACKAGE_DEPENDS)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavelor)
set(CPACK_PACKAGE_VENDOR "Tavelor developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL sdk)
if(TAVELOR_BUILD_GAME)
  list(APPEND CPACK_COMPONENTS_ALL game)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_SDK_PACKAGE_NAME tavelor-sdk)
set(CPACK_DEBIAN_SDK_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_SDK_PACKAGE_RECOMMENDS "cmake, g++")
set(CPACK_DEBIAN_GAME_PACKAGE_NAME hollerquast)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
set(CPACK_COMPONENT_SDK_DESCRIPTION "game runtime of a BASIC-like language: library, headers and tools
Tavelor is a C++ runtime for games written against about 150 upper-case
commands: 2D sprites, fonts and primitives, a 3D engine with its own mesh
format, collision, lights, keyboard, mouse and joysticks, sound, music and
video, files and packed media archives, UDP multiplayer sessions and A*
path finding.
.
This package holds the static library and its headers, the CMake package
(find_package(Tavelor)) and pkg-config file (tavelor.pc), the archive tool
tavelor-pack, the default font, a starter project in
/usr/share/tavelor/template and the command reference.")
set(CPACK_COMPONENT_GAME_DESCRIPTION "witch flying over a night landscape, chased by ghosts
Hollerquast is a small 3D game built on the Tavelor runtime: a witch
steered by the mouse alone over a landscape with a house, trees and
clouds, shooting at the five ghosts that chase her.")
include(CPack)
