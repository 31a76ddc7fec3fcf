# The Windows build (cmake --preset windows): the toolchain's matters only. Each
# folder's CMakeLists.txt says what it builds on Windows in its if(WIN32) branches.
# platform/include is not used here: windows.h and friends come from mingw-w64,
# the component runtime, registry and module library from Windows itself (ole32,
# oleaut32, advapi32, ktmw32, ATL.DLL). What the toolchain lacks is in
# platform/win32.
enable_language(RC)

# Headers: the toolchain's, with two folders searched ahead of it:
# platform/win32/include (the DLL entry point) and copies of the module library's,
# the transport's and the message component's headers, which Windows ships only
# with its SDKs and the mail server (the toolchain's cdosys.h puts everything in a
# namespace of its own). They are copied so that their own includes find the
# toolchain's unknwn.h rather than the Linux stand-ins.
set(PELLICOR_WIN32_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/win32-include)
foreach(header atlbase.h mailmsg.h seo.h smtpevent.h cdosys.h)
  configure_file(${CMAKE_SOURCE_DIR}/platform/include/${header} ${PELLICOR_WIN32_GENERATED_INCLUDE}/${header} COPYONLY)
endforeach()
add_library(platform_headers INTERFACE)
target_include_directories(platform_headers INTERFACE
  ${CMAKE_SOURCE_DIR}/platform/win32/include ${PELLICOR_WIN32_GENERATED_INCLUDE})
target_compile_definitions(platform_headers INTERFACE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)

# The module library is ATL.DLL. The 64-bit toolchain has its import library; for
# 32-bit one is made from the services used, whose exports carry no stdcall
# decoration, as the platform's loader asks for them by their plain names.
add_library(pellicor_atl INTERFACE)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  target_link_libraries(pellicor_atl INTERFACE atl)
else()
  find_program(PELLICOR_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/lib/libatl-x86.a
    COMMAND ${PELLICOR_DLLTOOL} -k -d ${CMAKE_SOURCE_DIR}/platform/win32/atl-x86.def -l ${CMAKE_BINARY_DIR}/lib/libatl-x86.a
    DEPENDS ${CMAKE_SOURCE_DIR}/platform/win32/atl-x86.def)
  add_custom_target(pellicor_atl_import DEPENDS ${CMAKE_BINARY_DIR}/lib/libatl-x86.a)
  add_dependencies(pellicor_atl pellicor_atl_import)
  target_link_libraries(pellicor_atl INTERFACE ${CMAKE_BINARY_DIR}/lib/libatl-x86.a)
  target_link_options(pellicor_atl INTERFACE -Wl,--kill-at -Wl,--enable-stdcall-fixup)
endif()

# GoogleTest for the tests under Wine, built from Debian's sources with the cross
# compiler.
if(PELLICOR_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
