# The macOS compile check, for machines without a Mac SDK (see check/compile_check.sh):
# every source that a Mac build compiles, type-checked for both of the Mac's CPUs, and
# the checks of the check itself. Included by the top-level CMakeLists.txt once every
# target is defined, since the sources are read off the targets that a Mac build makes.

# The targets that a Mac builds, beside the macOS backend itself; the Linux backend, the
# private Linux desktops of testbed/, the tests of whole programs on Linux and the Linux
# desktop measurements are not among them.
set(quorvel_mac_targets
  observer_core quorvel observer_posix_output observer_posix_services observer_icu_text
  observer_platform_simulated observer_test_fixture observer_tests macos_text_conversion_tests
  sennick_probe sennick sennick_probe_tests
  replay_scenario quorvel-replay replay_tests scenario_fuzz_corpus
  tick_benchmark
)

set(mac_build_sources ${QUORVEL_MACOS_BACKEND_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/tests/smoke_test.cpp)
foreach(target IN LISTS quorvel_mac_targets)
  if(NOT TARGET ${target})
    continue()  # left out by an option (the benchmarks, quorvel-replay)
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(directory ${target} SOURCE_DIR)
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "\\.(cpp|mm)$")
      continue()
    endif()
    if(NOT IS_ABSOLUTE ${source})
      set(source ${directory}/${source})
    endif()
    list(APPEND mac_build_sources ${source})
  endforeach()
endforeach()
list(REMOVE_DUPLICATES mac_build_sources)

set(check_folder ${CMAKE_CURRENT_LIST_DIR}/check)
file(GLOB rejected_samples CONFIGURE_DEPENDS ${check_folder}/rejected/*.cpp ${check_folder}/rejected/*.mm)
file(GLOB leaking_samples CONFIGURE_DEPENDS ${check_folder}/leaking/*.cpp)

find_program(QUORVEL_CHECK_CLANGXX NAMES clang++ clang++-14 clang++-15 clang++-16)
set(compile_check ${check_folder}/compile_check.sh)
# A check that cannot run fails the run instead of being skipped.
if(NOT QUORVEL_CHECK_CLANGXX)
  add_test(NAME macos_compile_check COMMAND sh -c "echo 'clang++ not found' >&2; exit 1")
else()
  # The sources and flags do not change with the sanitizers or the optimiser, so only a
  # plain build runs the longest check.
  if(NOT QUORVEL_SANITIZE AND NOT CMAKE_BUILD_TYPE STREQUAL "Release")
    foreach(arch x86_64 arm64)
      add_test(NAME macos_compile_check.${arch}
        COMMAND ${compile_check} ${QUORVEL_CHECK_CLANGXX} ${PROJECT_SOURCE_DIR} --arch ${arch}
          -D QUORVEL_VERSION="${PROJECT_VERSION}" -D SENNICK_VERSION="${PROJECT_VERSION}"
          ${mac_build_sources})
    endforeach()
  endif()
  add_test(NAME macos_stubs_reject_broken_calls
    COMMAND ${compile_check} ${QUORVEL_CHECK_CLANGXX} ${PROJECT_SOURCE_DIR} --expect-diagnostics
      ${rejected_samples})
  # Every CF object that a Create or Copy call hands over is released on every path.
  add_test(NAME macos_backend_leak_check
    COMMAND ${compile_check} ${QUORVEL_CHECK_CLANGXX} ${PROJECT_SOURCE_DIR} --analyze
      ${QUORVEL_MACOS_BACKEND_SOURCES} ${CMAKE_CURRENT_LIST_DIR}/tests/smoke_test.cpp)
  add_test(NAME macos_leak_check_finds_ownership_faults
    COMMAND ${compile_check} ${QUORVEL_CHECK_CLANGXX} ${PROJECT_SOURCE_DIR} --analyze --expect-diagnostics
      ${leaking_samples})
endif()
