# RtAudio and RtMidi from Debian's source packages, fetched by scripts/setup.sh outside the
# tracked tree. Built for Windows with DirectSound only (an RtAudio with WASAPI compiled in
# would take over where ASIO is asked for) and WinMM, with wide-character device names.
set(MARLQUIN_DEPS_DIR "$ENV{HOME}/.cache/marlquin/src" CACHE PATH "Unpacked Debian source packages")
if(TARGET rtaudio_ds OR NOT WIN32)
  return()
endif()

file(GLOB _rtaudio_dirs LIST_DIRECTORIES true ${MARLQUIN_DEPS_DIR}/rtaudio-5.*)
file(GLOB _rtmidi_dirs LIST_DIRECTORIES true ${MARLQUIN_DEPS_DIR}/rtmidi-5.*)
if(NOT _rtaudio_dirs OR NOT _rtmidi_dirs)
  message(WARNING "RtAudio/RtMidi sources not found in ${MARLQUIN_DEPS_DIR}: run scripts/setup.sh; "
                  "the standalone program is not built")
  return()
endif()
list(GET _rtaudio_dirs 0 MARLQUIN_RTAUDIO_DIR)
list(GET _rtmidi_dirs 0 MARLQUIN_RTMIDI_DIR)

add_library(rtaudio_ds STATIC ${MARLQUIN_RTAUDIO_DIR}/RtAudio.cpp)
target_include_directories(rtaudio_ds SYSTEM PUBLIC ${MARLQUIN_RTAUDIO_DIR})
target_compile_definitions(rtaudio_ds PRIVATE __WINDOWS_DS__ UNICODE _UNICODE)
target_compile_options(rtaudio_ds PRIVATE -w)
target_link_libraries(rtaudio_ds PUBLIC dsound ole32 winmm uuid)

add_library(rtmidi_mm STATIC ${MARLQUIN_RTMIDI_DIR}/RtMidi.cpp)
target_include_directories(rtmidi_mm SYSTEM PUBLIC ${MARLQUIN_RTMIDI_DIR})
target_compile_definitions(rtmidi_mm PRIVATE __WINDOWS_MM__ UNICODE _UNICODE)
target_compile_options(rtmidi_mm PRIVATE -w)
target_link_libraries(rtmidi_mm PUBLIC winmm)
