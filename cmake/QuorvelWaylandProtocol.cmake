# A Wayland protocol's client code, as wayland-scanner writes it from the protocol's XML:
#   quorvel_wayland_protocol(TARGET XML NAME)
# compiles NAME-protocol.c into TARGET and puts NAME-client-protocol.h on its private
# include path.
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)

function(quorvel_wayland_protocol target xml name)
  set(dir "${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols")
  set(header "${dir}/${name}-client-protocol.h")
  set(code "${dir}/${name}-protocol.c")
  add_custom_command(
    OUTPUT "${header}" "${code}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
    COMMAND ${WAYLAND_SCANNER} client-header "${xml}" "${header}"
    COMMAND ${WAYLAND_SCANNER} private-code "${xml}" "${code}"
    DEPENDS "${xml}"
    VERBATIM)
  target_sources(${target} PRIVATE "${header}" "${code}")
  target_include_directories(${target} PRIVATE "${dir}")
endfunction()
