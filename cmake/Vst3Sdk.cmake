# The VST 3 SDK subset (base, pluginterfaces, public.sdk) from the Debian package,
# built as one static library. Only the pieces a single-component effect needs.
if(TARGET vst3sdk)
  return()
endif()

set(_sdk ${MARLQUIN_VST3_SDK_DIR})
set(VST3SDK_SOURCES
  ${_sdk}/base/source/baseiids.cpp
  ${_sdk}/base/source/fbuffer.cpp
  ${_sdk}/base/source/fdebug.cpp
  ${_sdk}/base/source/fobject.cpp
  ${_sdk}/base/source/fstreamer.cpp
  ${_sdk}/base/source/fstring.cpp
  ${_sdk}/base/source/updatehandler.cpp
  ${_sdk}/base/thread/source/flock.cpp
  ${_sdk}/pluginterfaces/base/conststringtable.cpp
  ${_sdk}/pluginterfaces/base/coreiids.cpp
  ${_sdk}/pluginterfaces/base/funknown.cpp
  ${_sdk}/pluginterfaces/base/ustring.cpp
  ${_sdk}/public.sdk/source/common/memorystream.cpp
  ${_sdk}/public.sdk/source/common/pluginview.cpp
  ${_sdk}/public.sdk/source/vst/vstbus.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponent.cpp
  ${_sdk}/public.sdk/source/vst/vstcomponentbase.cpp
  ${_sdk}/public.sdk/source/vst/vsteditcontroller.cpp
  ${_sdk}/public.sdk/source/vst/vstinitiids.cpp
  ${_sdk}/public.sdk/source/vst/vstparameters.cpp
  # Interface ids the subset declares but defines nowhere; the SDK's own view code needs them.
  ${CMAKE_SOURCE_DIR}/framework/vst3/Vst3InterfaceIds.cpp
)

add_library(vst3sdk STATIC ${VST3SDK_SOURCES})
target_include_directories(vst3sdk SYSTEM PUBLIC ${_sdk})
target_include_directories(vst3sdk PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(vst3sdk PUBLIC RELEASE=1)
# Third-party code: its warnings are not ours to fix.
target_compile_options(vst3sdk PRIVATE -w)
if(WIN32)
  target_link_libraries(vst3sdk PUBLIC ole32 uuid)
endif()
unset(_sdk)
