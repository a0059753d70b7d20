# The tests against real sound servers, run against each of them.
# Registers the tests of `target` once against each sound server that Linux desktops run,
# named "pulseaudio.…" and "pipewire.…". A test whose name says "PipeWire" or
# "PulseAudio" is about that server alone and runs only against it.
function(quorvel_discover_for_each_sound_stack target timeout)
  gtest_discover_tests(${target} TEST_PREFIX "pulseaudio." TEST_FILTER "-*PipeWire*"
    DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${timeout} ENVIRONMENT "QUORVEL_TEST_SOUND_STACK=pulseaudio")
  gtest_discover_tests(${target} TEST_PREFIX "pipewire." TEST_FILTER "-*PulseAudio*"
    DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${timeout} ENVIRONMENT "QUORVEL_TEST_SOUND_STACK=pipewire")
endfunction()
