# The application's layers are static libraries over Qt 6, one per folder,
# each linking only the layers below it.

find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network PrintSupport Pdf DBus
             WebEngineCore WebEngineWidgets)
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

# orvane_qt_layer(NAME DIR [DEPENDS targets...]): every .cpp under DIR (its
# subfolders included) is one static library; a layer without sources yet is an
# interface library, so that the layers above can already link it.
function(orvane_qt_layer name dir)
  cmake_parse_arguments(LAYER "" "" "DEPENDS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h ${dir}/*.qrc)
  # A folder's main.cpp is its executable's, not its library's.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  set(has_cpp OFF)
  foreach(source ${sources})
    if(source MATCHES "\\.cpp$")
      set(has_cpp ON)
    endif()
  endforeach()
  if(has_cpp)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${LAYER_DEPENDS})
    orvane_autogen_follows_sources(${name} ${sources})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${LAYER_DEPENDS})
  endif()
endfunction()
