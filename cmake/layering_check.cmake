# The rules between the folders, checked when the build is configured and again by
# the test "layering" (cmake -DPELLICOR_SOURCE_DIR=... -P this file). The include
# paths already keep a bare header name of another room out of sink/ and setup/;
# this refuses the way round them, an include that spells out a path into another
# room, and an include of a program's header from the platform.
if(NOT PELLICOR_SOURCE_DIR)
  set(PELLICOR_SOURCE_DIR ${CMAKE_SOURCE_DIR})
endif()

function(pellicor_refuse_includes folder pattern why)
  file(GLOB_RECURSE sources ${PELLICOR_SOURCE_DIR}/${folder}/*.cpp ${PELLICOR_SOURCE_DIR}/${folder}/*.h)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]*(${pattern})")
    if(includes)
      list(GET includes 0 first)
      file(RELATIVE_PATH shown ${PELLICOR_SOURCE_DIR} ${source})
      message(FATAL_ERROR "${shown}: ${first}: ${why}")
    endif()
  endforeach()
endfunction()

foreach(room sink setup)
  pellicor_refuse_includes(${room} "\\.\\./|platform/|sink/|setup/|tools/"
    "${room}/ includes only its own headers and platform/include's")
endforeach()
pellicor_refuse_includes(platform "\\.\\./|sink/|setup/|tools/" "platform/ knows no program")
