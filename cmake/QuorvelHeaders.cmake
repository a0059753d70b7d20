# Which headers of a target other targets may include.
#
# Sources include headers by their path from the top of the repository
# ("observer/platform/audio_hal.h"), but no target is given the repository root as an
# include directory. Instead each target gets folders of its own in the build tree that
# hold links to the headers it names here: its public headers, which it publishes to every
# target that links it, and its private ones, which only its own sources see (and its own
# tests, through the target NAME_internals). A file that includes a header of another
# target's that this target does not publish therefore fails to build. NAME_internals
# carries only the headers: a test links NAME itself too, first, so that the linker reads
# NAME before the backend that NAME needs.
#
#   quorvel_headers(TARGET [PUBLIC header...] [PRIVATE header...])
#
# Headers are named relative to the calling CMakeLists.txt. An INTERFACE library can only
# have public headers.
function(quorvel_headers target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "PUBLIC;PRIVATE")
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${PROJECT_BINARY_DIR}/headers/${target})
  # Links left from an earlier configuration would still be found.
  file(REMOVE_RECURSE ${root})
  foreach(visibility public private)
    string(TOUPPER ${visibility} key)
    file(MAKE_DIRECTORY ${root}/${visibility})
    foreach(header IN LISTS arg_${key})
      set(link ${root}/${visibility}/${folder}/${header})
      if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${header})
        message(FATAL_ERROR "quorvel_headers(${target}): no header ${folder}/${header}")
      endif()
      get_filename_component(directory ${link} DIRECTORY)
      file(MAKE_DIRECTORY ${directory})
      file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${header} ${link} SYMBOLIC)
    endforeach()
  endforeach()

  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    if(arg_PRIVATE)
      message(FATAL_ERROR "quorvel_headers(${target}): an interface library has no private headers")
    endif()
    target_include_directories(${target} INTERFACE ${root}/public)
    return()
  endif()
  if(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${root}/public ${root}/private)
    return()
  endif()
  target_include_directories(${target} PUBLIC ${root}/public PRIVATE ${root}/private)
  add_library(${target}_internals INTERFACE)
  target_include_directories(${target}_internals INTERFACE ${root}/private ${root}/public)
endfunction()
