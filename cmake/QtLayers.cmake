# The application's layers are static libraries over Qt 6, one per folder,
# each linking only the layers below it.

find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Network PrintSupport
             WebEngineCore WebEngineWidgets)
set(CMAKE_AUTOMOC ON)
set(CMAKE_AUTORCC ON)

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
    # Ninja's moc step otherwise reruns only for the headers it saw before, so a
    # header that arrives with a merge or checkout would never be moc'ed.
    set(headers ${sources})
    list(FILTER headers INCLUDE REGEX "\\.h$")
    set_property(TARGET ${name} APPEND PROPERTY AUTOGEN_TARGET_DEPENDS ${headers})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${LAYER_DEPENDS})
  endif()
endfunction()
