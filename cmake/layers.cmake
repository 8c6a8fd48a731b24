# Every layer's headers are reachable only through an include root of its
# own: a folder in the build tree holding one link to the layer's sources,
# published by the layer's target. A target sees exactly the headers of the
# layers it links, so an include against the direction of the links fails
# with "No such file or directory" rather than building by accident.

set(VELTROP_INCLUDE_ROOTS ${PROJECT_BINARY_DIR}/include-roots)

# Publishes <folder> (relative to the project, e.g. "kit/dates") to users of
# <target> under its own name, so that "kit/dates/capture_date.h" resolves.
function(veltrop_publish_headers target folder)
  set(root ${VELTROP_INCLUDE_ROOTS}/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT IS_SYMLINK ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# One static library per kit layer, built from the *.cpp files of its folder
# and linked to the layers directly below it.
#   veltrop_layer(<name> [DEPENDS <layer targets>...])
function(veltrop_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "DEPENDS")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(veltrop_${name} STATIC ${sources})
  veltrop_publish_headers(veltrop_${name} kit/${name})
  target_link_libraries(veltrop_${name} PUBLIC ${layer_DEPENDS})
endfunction()
