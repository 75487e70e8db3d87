# Fails when a file of app/shell includes a header of a page folder
# (programming, fiscal, nvr) or of the composition: the shell knows no page.
# cmake -DAPP_DIR=<app folder> -P check_shell_includes.cmake
file(GLOB shell_files ${APP_DIR}/shell/*.cpp ${APP_DIR}/shell/*.h ${APP_DIR}/shell/core/*.cpp ${APP_DIR}/shell/core/*.h)
file(GLOB page_headers ${APP_DIR}/programming/*.h ${APP_DIR}/programming/core/*.h ${APP_DIR}/fiscal/*.h
  ${APP_DIR}/fiscal/core/*.h ${APP_DIR}/nvr/*.h ${APP_DIR}/nvr/core/*.h ${APP_DIR}/composition/*.h)
set(found "")
foreach(file ${shell_files})
  file(STRINGS ${file} includes REGEX "^#include \"")
  foreach(header ${page_headers})
    get_filename_component(name ${header} NAME)
    foreach(line ${includes})
      if(line STREQUAL "#include \"${name}\"")
        list(APPEND found "${file} includes ${name}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n" text)
  message(FATAL_ERROR "the shell depends on page folders:\n${text}")
endif()
message(STATUS "app/shell includes no page folder")
