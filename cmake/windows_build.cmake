# The Windows build (cmake --preset windows): Pellicor.dll and PellicorSetup.exe
# from the same sources as the Linux build, over the platform's own headers and
# libraries. platform/include is not used here: windows.h and friends come from
# mingw-w64, the component runtime, registry and module library from Windows
# itself (ole32, oleaut32, advapi32, ktmw32, ATL.DLL). What the toolchain lacks
# is in platform/win32.
enable_language(RC)

# Headers: the toolchain's, with two folders searched ahead of it:
# platform/win32/include (the module library's records, the DLL entry point) and
# copies of the transport's and the message component's interface headers, which
# Windows ships only with the mail server (the toolchain's cdosys.h puts
# everything in a namespace of its own). They are copied so that their own
# includes find the toolchain's unknwn.h rather than the Linux stand-ins.
set(PELLICOR_WIN32_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/win32-include)
foreach(header mailmsg.h seo.h smtpevent.h cdosys.h)
  configure_file(${CMAKE_SOURCE_DIR}/platform/include/${header} ${PELLICOR_WIN32_GENERATED_INCLUDE}/${header} COPYONLY)
endforeach()
add_library(platform_headers INTERFACE)
target_include_directories(platform_headers INTERFACE
  ${CMAKE_SOURCE_DIR}/platform/win32/include ${PELLICOR_WIN32_GENERATED_INCLUDE})
target_compile_definitions(platform_headers INTERFACE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)

# The sink's filtering logic and event operation.
add_library(pellicor_sink_core STATIC
  sink/message_content_stream.cpp
  sink/message_event.cpp
  sink/message_filter.cpp
  sink/rule_lookup.cpp)
target_include_directories(pellicor_sink_core PUBLIC ${CMAKE_SOURCE_DIR}/sink)
target_link_libraries(pellicor_sink_core PUBLIC platform_headers ole32 oleaut32 advapi32 uuid)

# The type library in the layout of the target, for the DLL's TYPELIB resource.
find_program(PELLICOR_WIDL NAMES x86_64-w64-mingw32-widl i686-w64-mingw32-widl widl REQUIRED)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PELLICOR_WIDL_TARGET --win64)
else()
  set(PELLICOR_WIDL_TARGET --win32)
endif()
set(PELLICOR_WINE_IDL /usr/include/wine/wine/windows)
set(PELLICOR_WINE_TLB /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/sink/Pellicor.tlb
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/sink
  COMMAND ${PELLICOR_WIDL} ${PELLICOR_WIDL_TARGET} -I${PELLICOR_WINE_IDL} -L${PELLICOR_WINE_TLB} -t
          -o ${CMAKE_BINARY_DIR}/sink/Pellicor.tlb ${CMAKE_SOURCE_DIR}/sink/resources/Pellicor.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/sink/resources/Pellicor.idl
  COMMENT "Compiling the type library PELLICORLib (${PELLICOR_WIDL_TARGET})")

# Pellicor.dll: the component server with exactly its four exports and its
# registration script, type library and version block as resources.
set(PELLICOR_RGS ${CMAKE_SOURCE_DIR}/sink/resources/Pellicor.rgs)
set(PELLICOR_TLB ${CMAKE_BINARY_DIR}/sink/Pellicor.tlb)
configure_file(${CMAKE_SOURCE_DIR}/platform/win32/Pellicor.rc.in ${CMAKE_BINARY_DIR}/sink/Pellicor.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/sink/Pellicor.rc PROPERTIES
  OBJECT_DEPENDS "${PELLICOR_RGS};${PELLICOR_TLB};${CMAKE_SOURCE_DIR}/sink/resources/Pellicor.rc")
add_library(Pellicor SHARED
  sink/sink.cpp
  sink/sink_class_factory.cpp
  sink/sink_dispatch.cpp
  sink/sink_module.cpp
  sink/sink_type_info.cpp
  platform/win32/atl_unregistration.cpp
  platform/win32/Pellicor.def
  ${CMAKE_BINARY_DIR}/sink/Pellicor.rc)
set_target_properties(Pellicor PROPERTIES PREFIX "" OUTPUT_NAME Pellicor)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_link_libraries(Pellicor PRIVATE pellicor_sink_core atl)
else()
  # 32-bit: the toolchain has no import library for ATL.DLL, so one is made from
  # the services used; the exports carry no stdcall decoration, as the
  # platform's loader asks for them by their plain names.
  find_program(PELLICOR_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/lib/libatl-x86.a
    COMMAND ${PELLICOR_DLLTOOL} -k -d ${CMAKE_SOURCE_DIR}/platform/win32/atl-x86.def -l ${CMAKE_BINARY_DIR}/lib/libatl-x86.a
    DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/atl-x86.def)
  add_custom_target(pellicor_atl_import DEPENDS ${CMAKE_BINARY_DIR}/lib/libatl-x86.a)
  add_dependencies(Pellicor pellicor_atl_import)
  target_link_libraries(Pellicor PRIVATE pellicor_sink_core ${CMAKE_BINARY_DIR}/lib/libatl-x86.a)
  target_link_options(Pellicor PRIVATE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
endif()

# PellicorSetup.exe: the rule list window over the Win32 toolkit, with its
# version block. The save's transaction is the platform's transacted registry.
add_library(pellicor_setup_form STATIC
  setup/clsRegistry.cpp
  setup/wildcard_match.cpp
  setup/entry_text.cpp
  setup/rule_list_file.cpp
  setup/replace_file_win32.cpp
  setup/install_form.cpp)
target_include_directories(pellicor_setup_form PUBLIC ${CMAKE_SOURCE_DIR}/setup)
target_link_libraries(pellicor_setup_form PUBLIC platform_headers advapi32 ktmw32)

# The version block of the tool, from setup/version.h.
file(READ ${CMAKE_SOURCE_DIR}/setup/version.h PELLICOR_SETUP_VERSION_H)
foreach(name CompanyName ProductName FileDescription InternalName OriginalFilename VersionString)
  string(REGEX MATCH "k${name} = \"([^\"]*)\"" found "${PELLICOR_SETUP_VERSION_H}")
  set(PELLICOR_SETUP_${name} "${CMAKE_MATCH_1}")
endforeach()
foreach(name Major Minor Revision Build)
  string(REGEX MATCH "k${name} = ([0-9]+)" found "${PELLICOR_SETUP_VERSION_H}")
  set(PELLICOR_SETUP_${name} "${CMAKE_MATCH_1}")
endforeach()
configure_file(${CMAKE_SOURCE_DIR}/setup/PellicorSetup.rc.in ${CMAKE_BINARY_DIR}/setup/PellicorSetup.rc @ONLY)

add_executable(PellicorSetup WIN32
  setup/win32_main.cpp
  setup/win32_toolkit.cpp
  platform/win32/transaction_support.cpp
  ${CMAKE_BINARY_DIR}/setup/PellicorSetup.rc)
target_link_libraries(PellicorSetup PRIVATE pellicor_setup_form user32 gdi32 comdlg32 shell32)

# Tests under Wine (label "windows"). GoogleTest is built from Debian's sources
# with the cross compiler.
if(PELLICOR_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  include(GoogleTest)
  enable_testing()
  include(${CMAKE_SOURCE_DIR}/tests/windows/windows_tests.cmake)
endif()

# The transport stand-in for Windows: pellicor-submit.exe, which creates
# "Pellicor.Sink" through the platform's CoCreateInstance, and the CDO message
# component stand-in as an in-process server (Windows has no CDO for Wine's
# prefix), registered with regsvr32 like any other.
add_library(pellicor_cdo STATIC
  platform/cdo/message.cpp
  platform/cdo/message_class_factory.cpp
  platform/cdo/rfc5322_split.cpp)
target_include_directories(pellicor_cdo PUBLIC ${CMAKE_SOURCE_DIR}/platform/cdo)
target_link_libraries(pellicor_cdo PUBLIC platform_headers ole32 oleaut32 uuid)

add_library(pellicor-cdo SHARED platform/win32/cdo_server.cpp platform/win32/pellicor-cdo.def)
set_target_properties(pellicor-cdo PROPERTIES PREFIX "")
target_link_libraries(pellicor-cdo PRIVATE pellicor_cdo advapi32)

add_library(pellicor_smtp STATIC
  platform/smtp/mail_message.cpp
  platform/smtp/property_ranges.cpp
  platform/smtp/message_headers.cpp
  platform/smtp/out_of_office_marker.cpp
  platform/smtp/message_event_source.cpp)
target_include_directories(pellicor_smtp PUBLIC ${CMAKE_SOURCE_DIR}/platform/smtp)
target_link_libraries(pellicor_smtp PUBLIC platform_headers pellicor_cdo ole32 oleaut32 uuid)

add_executable(pellicor-submit
  tools/command_line/command_line.cpp
  tools/submit/submit_command.cpp
  tools/submit/main_win32.cpp
  tools/submit/sink_class_win32.cpp)
target_include_directories(pellicor-submit PRIVATE ${CMAKE_SOURCE_DIR}/tools/submit ${CMAKE_SOURCE_DIR}/tools/command_line)
target_link_libraries(pellicor-submit PRIVATE pellicor_smtp pellicor_version advapi32)
