# The application's layers are static libraries over Qt 6, one per folder,
# each linking only the layers below it and only the Qt modules it uses: the
# web engine only where pages are shown, D-Bus and printing behind the
# platform layer's own interfaces, the spelling and grammar dictionaries and
# speech each behind its own service.

find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network PrintSupport Pdf DBus
             WebEngineCore WebEngineWidgets TextToSpeech)
# The spelling and grammar dictionaries' libraries (Hunspell, Link Grammar)
# have no CMake packages of their own on Debian; pkg-config knows them.
find_package(PkgConfig REQUIRED)
pkg_check_modules(HUNSPELL REQUIRED IMPORTED_TARGET hunspell)
pkg_check_modules(LINKGRAMMAR REQUIRED IMPORTED_TARGET link-grammar)
# The X connection, for keys the program must not lose to a question coming up.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)

# Ninja's moc step reruns only when a file it saw last time changes, so a
# header or source that arrives with a merge or checkout would never be
# moc'ed. When the list of files changes, the step's stamp is removed at
# configure time (the globs re-run configuration when files come or go).
function(orvane_autogen_follows_sources name)
  string(SHA1 listed "${ARGN}")
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen)
  set(seen "")
  if(EXISTS ${dir}/sources.sha1)
    file(READ ${dir}/sources.sha1 seen)
  endif()
  if(NOT seen STREQUAL listed)
    file(REMOVE ${dir}/timestamp)
    file(WRITE ${dir}/sources.sha1 ${listed})
  endif()
endfunction()

# The Qt headers nearly every file of the layers includes, parsed once for
# all the layers instead of once per file. The parse is made by a target of
# its own that has only the flags every layer has: GCC takes a parse only
# where each macro defined for it is defined alike (a layer's own Qt modules
# add macros, which the parse then does not know and does not need).
set(ORVANE_QT_PRECOMPILED <QObject> <QString> <QStringList> <QList> <QHash> <QVariant> <QPointer>
                          <QTimer> <QWidget> <QEvent> <QColor> <QFont> <functional> <memory>
                          <optional> <vector>)
file(WRITE ${CMAKE_BINARY_DIR}/precompiled_only.cpp "// The precompiled headers' own target has nothing else to build.\n")

#   orvane_precompiled_qt_headers(<target> [HEADERS <more headers...>] [LINK <targets...>])
# Makes <target>, which parses the Qt headers (and HEADERS) for the targets
# that reuse it (orvane_precompile_qt), with LINK's flags besides Qt's.
function(orvane_precompiled_qt_headers name)
  cmake_parse_arguments(PCH "" "" "HEADERS;LINK" ${ARGN})
  add_library(${name} OBJECT ${CMAKE_BINARY_DIR}/precompiled_only.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
  target_link_libraries(${name} PRIVATE Qt6::Widgets ${PCH_LINK})
  if(NOT ORVANE_FUZZ)
    target_precompile_headers(${name} PRIVATE ${ORVANE_QT_PRECOMPILED} ${PCH_HEADERS})
  endif()
endfunction()
orvane_precompiled_qt_headers(orvane_qt_headers)

#   orvane_precompile_qt(<target> [FROM <headers target>])
function(orvane_precompile_qt name)
  cmake_parse_arguments(PCH "" "FROM" "" ${ARGN})
  if(NOT PCH_FROM)
    set(PCH_FROM orvane_qt_headers)
  endif()
  if(NOT ORVANE_FUZZ)
    target_precompile_headers(${name} REUSE_FROM ${PCH_FROM})
  endif()
endfunction()

# orvane_qt_layer(NAME DIR [EXCLUDE subfolder...] [DEPENDS targets...]
#                 [PRIVATE_DEPENDS targets...]): every .cpp under DIR (its
# subfolders included, but those excluded, which are layers of their own) is
# one static library. Headers are included by their place below the project's
# root, which the document library puts on every include path above it.
function(orvane_qt_layer name dir)
  cmake_parse_arguments(LAYER "" "" "EXCLUDE;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.qrc)
  # A folder's main.cpp is its executable's, not its library's.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  foreach(excluded ${LAYER_EXCLUDE})
    list(FILTER sources EXCLUDE REGEX "^${dir}/${excluded}/")
  endforeach()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC ${LAYER_DEPENDS} PRIVATE ${LAYER_PRIVATE_DEPENDS})
  orvane_autogen_follows_sources(${name} ${sources})
  orvane_precompile_qt(${name})
endfunction()
